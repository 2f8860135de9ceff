#pragma once
// The Nuvoton NPCE's SPI flash behind the "NPCE" firmware, and the KESTRA
// adapter as that firmware sees it ('9', 'V' '0'/'1'/'2'; the fit is `kestra=`).
// NOR semantics: an erase sets every byte to FFh, programming only clears bits.
//   npce=absent            no flash: the ID reads FF FF FF FF, nothing is erased or written
//   npce-id=HEX6           the JEDEC ID (manufacturer, type, capacity)
//   npce-flash=FILE        initial flash (128 KiB); npce-flash-out=FILE written when the process ends
//   npce-erase-fail=1      the chip erase answers status 0 and erases nothing
//   npce-erase-ms=N        the chip erase takes N ms
//   npce-not-blank=ADDR    a cell that the erase leaves at 00h (the blank check fails)
//   npce-stuck=ADDR        a cell that keeps its value when programmed
//   npce-page-fail-at=N    the Nth page since start answers status 0 and is not programmed
//   npce-no-star-at=N      the Nth page request gets no '*'
//   npce-end-status=N      the status byte of the end of read (default 1)
//   npce-end-silent=1      the end of read is not answered
//   npce-overlong-at=N     the Nth 512-byte block since start carries one byte too many
//   npce-silent-after=N    after N NPCE commands the jig answers none of them
//   npce-block-us=N        the jig's time per block or page (paced mode)
#include <cstdint>
#include <string>
#include <vector>

#include "sim/NorFlash.h"
#include "sim/SimConfig.h"
#include "sim/TargetFaults.h"

namespace qj::sim {

class AppFirmware;
class JigPort;

class NpceModel {
public:
    static constexpr size_t kFlashSize = 131072;
    static constexpr size_t kBlock = 512;
    static constexpr size_t kPage = 256;

    explicit NpceModel(const SimConfig& cfg);

    // Jig commands; each returns the bytes consumed.
    size_t readId(JigPort& port);                                    // 'Z'
    size_t adapterSense(JigPort& port);                              // '9'
    size_t adapter(uint8_t sub, JigPort& port);                      // 'V' '0', '1', '2'
    size_t readBlock(JigPort& port);                                 // 'r'
    size_t endOfRead(JigPort& port);                                 // '-'
    size_t chipErase(JigPort& port);                                 // 'e'
    size_t blankCheck(JigPort& port);                                // 'x'
    size_t pageRequest(AppFirmware& fw, JigPort& port);              // 'w', then 256 data bytes
    size_t endOfWrite(JigPort& port);                                // 07h

    std::vector<uint8_t> flash;
    bool present = true;
    uint32_t jedecId = 0xEF4012;
    char adapterSide = 0;   // '0' or '1' once told which way the adapter sits
    int released = 0;       // 'V' '2' received
    int erases = 0;
    int64_t pagesWritten = 0;

private:
    // Counts an NPCE command; true when the jig no longer answers.
    bool silent();
    // Any command but the block and page requests ends a running transfer.
    void endTransfers() { readAt_ = writeAt_ = 0; }
    size_t pageData(AppFirmware& fw, const uint8_t* data, size_t n, JigPort& port);

    NorFlash nor_;
    TargetFaults faults_;
    bool eraseFail_ = false;
    int64_t eraseUs_ = 0;
    int64_t notBlank_ = -1;
    int64_t pageFailAt_ = 0;
    int64_t noStarAt_ = 0;
    uint8_t endStatus_ = 1;
    bool endSilent_ = false;

    int64_t commands_ = 0;
    int64_t blocksServed_ = 0;
    int64_t pagesRequested_ = 0;
    bool pageFails_ = false;
    size_t readAt_ = 0;
    size_t writeAt_ = 0;
};

}  // namespace qj::sim
