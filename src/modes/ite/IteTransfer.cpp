// The ITE window's connection check, read, and the two erase-write-verify
// algorithms. Every wait has its bound; a missed one ends the operation as a
// target that does not answer.
#include <algorithm>

#include "jig/Text.h"
#include "modes/ite/IteCore.h"
#include "modes/Modes.h"

namespace qj::ite {

namespace {
std::string hex2(uint32_t v) { return hexNumber(v, 2); }
std::string hex5(uint32_t v) { return hexNumber(v, 5); }
}  // namespace

// ---------------------------------------------------------------- connection check

void IteCore::ITE_CHECK_CON_BitBtnClick() {
    if (!busy_.idle()) return;
    outcome_ = Outcome::Failed;
    view_.log2("");
    view_.log2("Проверка связи ...", "Check connection ...");
    if (link_.open(mode(ModeId::Ite).open, view_) != OpenResult::Ready) return;
    view_.log2("Программатор найден и готов к работе.", "The programmer is found and ready to go.");
    view_.log2("");
    opExternal_ = chosenExternal();
    if (!opExternal_) view_.log2("Подключите адаптер и продолжайте!", "Сonnect the adapter and continue!");
    // The check owns the link: the settings wait for it.
    view_.setEnabled(kSetupButton, false);
    lockChoice(true);
    busy_.set(Busy::Check_connection);
    worker_.start();
}

void IteCore::checkConnection() {
    extPower(true);
    wait(400);
    auto failed = [this] {
        extPower(false);
        signal(false);
        link_.close();
        enableButtons({kReadButton, kWriteButton}, false);
        view_.setEnabled(kSetupButton, true);
        release(false);
    };
    uint8_t a = 0;
    const Step attach = ack({kAttach}, a);
    if (attach != Step::Ok || a != kOk) {
        if (attach == Step::Lost) link_.purge();
        noAnswer("(00)");
        return failed();
    }
    uint8_t id[3] = {};
    for (uint8_t r = kRegIdHigh; r <= kRegRevision; ++r) {
        const Step s = regRead(r, id[r]);
        if (s == Step::Lost) {
            lost("(TMO)");
            return failed();
        }
        if (s == Step::Refused) {
            view_.log2("BUSY error при получении ID!", "BUSY error ID read!");
            return failed();
        }
        if (r == kRegIdHigh) chipId_ = static_cast<uint16_t>(id[0] << 8 | (chipId_ & 0xFF));
        if (r == kRegIdLow) chipId_ = static_cast<uint16_t>((chipId_ & 0xFF00) | id[1]);
    }
    view_.log2("Received ITE ID  -> " + hex2(id[0]) + hex2(id[1]) + " rev -> " + hex2(id[2]));
    extPower(false);
    signal(true);
    link_.close();
    enableButtons({kReadButton, kWriteButton}, true);
    view_.setEnabled(kSetupButton, true);
    if (!sizeOverride_) {
        if (chipId_ == kId8386) {
            flashKiB_ = 192;
            view_.log2("Информация. Размер FLASH памяти EC 192KB!", "INFO. Size embedded FLASH EC 192KB!");
        } else {
            flashKiB_ = 128;
        }
    }
    release(true);
}

// ---------------------------------------------------------------- read

void IteCore::ITE_READ_BitBtnClick() {
    if (!busy_.idle()) return;
    outcome_ = Outcome::Failed;
    const auto four = {kCheckButton, kExitButton, kWriteButton, kSetupButton};
    enableButtons(four, false);
    lockChoice(true);
    auto giveUp = [&] {
        enableButtons(four, true);
        lockChoice(false);
    };
    view_.log2("");
    if (link_.open(mode(ModeId::Ite).open, view_) != OpenResult::Ready) return giveUp();
    const auto path = view_.askSavePath();
    if (!path) {
        view_.log2("Чтение отмененено пользователем. Все сворачиваем. (RD_DLG)",
                   "Reading canceled by the user. All displace. (RD_DLG)");
        link_.close();
        return giveUp();
    }
    if (!dump_.create(*path)) {
        view_.log2("Ошибка при создании файла. (RD_CRT_DLG)", "Error creating file. (RD_CRT_DLG)");
        link_.close();
        return giveUp();
    }
    view_.timeStamp2();
    view_.log2("Сохраняем в файл: " + *path, "Write to file: " + *path);
    view_.log2("Начинаем чтение ITE ...", "Reading start...");
    opExternal_ = chosenExternal();
    opKiB_ = flashKiB_;
    extPower(true);
    busy_.set(Busy::INIT_READ_ITE);
    worker_.start();
}

void IteCore::readPreparation() {
    wait(400);
    auto failed = [this](const std::string& code) {
        lost(code);
        dump_.close();  // the file stays, empty
        plainFinish(false);
        release(false);
    };
    uint8_t a = 0;
    if (ack({kAttach}, a) != Step::Ok || a != kOk) return failed("(Rxxx)");
    view_.log2("Преподготовка ITE ...", "INIT ...");
    if (chipId_ == kId8580) {
        for (const RegStep& s : kReadPreparation8580)
            if (regWrite(s.reg, s.value) == Step::Lost) return failed("(TMO)");
    } else {
        size_t at = 0;
        if (regWrites(kReadPreparation, at) != Step::Ok) return failed(kReadPreparation[at].code);
    }
    view_.log2("Закончили преподготовку ...", "INIT complete.");
    busy_.set(Busy::READ_ITE);
}

void IteCore::readFlash() {
    wait(100);
    view_.log2("Читаю, пожалуйста ждите ...", "READ, please wait ...");
    const int blocks = opKiB_ * 4;
    view_.gaugeColor(kLime);
    view_.gaugePos(0);
    view_.gaugeMax(blocks);
    const bool v8580 = chipId_ == kId8580;
    bool ok = true;
    for (int b = 0; b < blocks && ok; ++b) {
        ok = false;
        if (v8580) {
            uint8_t a = 0;
            const Step s = ack(batchBlockAddress(0x7F, b), a);
            if (s == Step::Lost) {
                lost("(TMO)");
                break;
            }
            if (a != kOk) {
                view_.log2("Ошибка BUSY чтение", "Error BUSY Read_Init");
                break;
            }
        }
        const Xfer x = fetch(xbuf_);
        if (x == Xfer::Overflow) {
            protocolFault();
            break;
        }
        if (x != Xfer::Ok) {
            lost("(TMO)");
            break;
        }
        if (xbuf_[kBlock] != kOk) {
            view_.log2("Ошибка при чтении блока ->" + std::to_string(b + 1),
                       "ERROR reading block ->" + std::to_string(b + 1));
            break;
        }
        if (!dump_.write(xbuf_.data(), kBlock)) {
            view_.log2("Ошибка записи в файл!", "Error writing the file!");
            break;
        }
        view_.gaugePos(b + 1);
        ok = true;
    }
    // A dump that did not reach the disk must not pass for a good one.
    if (ok && !dump_.finish()) {
        view_.log2("Ошибка записи в файл!", "Error writing the file!");
        ok = false;
    }
    dump_.close();
    plainFinish(ok);
    if (ok) view_.log2("Мы все прочитали ", "Reading complete. ");
    view_.timeStamp2();
    release(ok);
}

// ---------------------------------------------------------------- write

// Before the worker starts: the link, if open, is closed with the failure signal.
void IteCore::writeAbort(bool linkOpen) {
    if (linkOpen) {
        extPower(false);
        signal(false);
        link_.close();
    }
    enableButtons({kCheckButton, kExitButton, kWriteButton, kSetupButton, kReadButton}, true);
    lockChoice(false);
}

void IteCore::ITE_WRITE_BitBtnClick() {
    if (!busy_.idle()) return;
    outcome_ = Outcome::Failed;
    enableButtons({kCheckButton, kExitButton, kReadButton, kSetupButton}, false);
    lockChoice(true);
    view_.log2("");
    opExternal_ = chosenExternal();
    if (link_.open(mode(ModeId::Ite).open, view_) != OpenResult::Ready) return writeAbort(false);
    const auto path = view_.askOpenPath();
    if (!path) {
        view_.log2("Запись отмененена пользователем. Все сворачиваем. (WR_DLG)",
                   "WRITE canceled by the user. all displace. (WR_DLG)");
        return writeAbort(true);
    }
    opKiB_ = flashKiB_;
    // An empty file (or a folder, a device) would be written as an erased chip.
    const image::Loaded in = image::load(*path, image_, static_cast<size_t>(opKiB_) * 1024, 0xFF);
    if (!in.ok()) {
        view_.log2("Ошибка при открытии файла. (WR_OPN_DLG)", "Error opening the file. (WR_OPN_DLG)");
        return writeAbort(true);
    }
    view_.timeStamp2();
    view_.log2("Пишем из файла: " + *path, "Data file: " + *path);
    const std::string bytes = hex5(static_cast<uint32_t>(in.bytes));
    view_.log2("Считали в буфер " + bytes + "h байт", "File loaded to buffer " + bytes + "h bytes");
    extPower(true);
    uint8_t a = 0;
    const Step attach = ack({kAttach}, a);
    if (attach != Step::Ok || a != kOk) {
        if (attach == Step::Lost) link_.purge();
        noAnswer("(Wxxx)");
        return writeAbort(true);
    }
    busy_.set(chipId_ == kId8580 ? Busy::WRITE_ITE_8580 : Busy::WRITE_ITE_step_one);
    worker_.start();
}

// Through the flash gateway: erase, 128-byte chunks in image order, verify.
void IteCore::gatewayWrite() {
    wait(500);
    auto failed = [this] {
        stampedFinish(false);
        release(false);
    };
    opChipErase_ = !blockErase_;
    if (!(opChipErase_ ? chipErase() : blockErase())) return failed();

    const size_t size = static_cast<size_t>(opKiB_) * 1024;
    const auto ff = std::count(image_.begin(), image_.begin() + static_cast<long>(size), uint8_t{0xFF});
    view_.log2("Количество байт равных 0xFF в файле -> " + std::to_string(ff),
               "The number of bytes equal to the value of FFh -> " + std::to_string(ff));
    view_.log2("Начинаем писать байты ...", "WRITE, please wait ...");
    const int chunks = opKiB_ * 8;
    view_.gaugeColor(kRed);
    view_.gaugePos(0);
    view_.gaugeMax(chunks);
    // After a chip erase the jig answers once the erase is over.
    const uint32_t first = opChipErase_ ? Deadlines::kAfterChipEraseMs : Deadlines::kByteAnswerMs;
    uint8_t a = 0;
    if (ack({kWriteStart, 0x00, 0x00, 0x00}, a, first) != Step::Ok) {
        lost("(TMO)");
        return failed();
    }
    std::vector<uint8_t> chunk(1 + kChunkSize);
    chunk[0] = kChunk;
    for (int k = 0; k < chunks; ++k) {
        std::copy_n(image_.begin() + static_cast<long>(k) * kChunkSize, kChunkSize, chunk.begin() + 1);
        if (ack(chunk, a, k == 0 ? first : Deadlines::kByteAnswerMs) != Step::Ok) {
            lost("(TMO)");
            return failed();
        }
        if (a != kOk) {
            view_.log2("Ошибка записи во флеш или потеряна связь с ITE", "Error writing to flash or lost contact with ITE");
            return failed();
        }
        view_.gaugePos(k + 1);
    }
    view_.log2("Мы все записали. ", "WRITE complete.");
    wait(300);
    view_.log2("Делаем сверку ... ", "Verify ... ");
    view_.gaugeColor(kYellow);
    view_.gaugePos(0);
    view_.gaugeMax(opKiB_ * 4);
    const bool same = gatewayVerify();
    stampedFinish(same);
    release(same);
}

bool IteCore::chipErase() {
    view_.log2("Преподготовка ITE ...", "INIT ...");
    for (size_t i = 0; i < kChipErase.size(); ++i) {
        const RegStep& s = kChipErase[i];
        if (regWrite(s.reg, s.value) != Step::Ok) {
            lost(s.code);
            return false;
        }
        if (std::string(s.code) == "(T005)") view_.log2("Закончили преподготовку ...", "INIT complete.");
    }
    view_.log2("Команда стирания чипа отправлена ...", "ERASE complete.");
    return true;
}

bool IteCore::blockErase() {
    auto failed = [this] {
        lost("(BLOCK ERASE)");
        return false;
    };
    if (regWrites(kBlockEraseInit) != Step::Ok) return failed();
    view_.log2("Инициализация закончена.", "INIT complete.");
    view_.log2("Стирание...", "ERASE...");
    view_.gaugeColor(kFuchsia);
    view_.gaugePos(0);
    view_.gaugeMax(opKiB_);
    bool warned = false;
    for (uint32_t a = 0; a < static_cast<uint32_t>(opKiB_) * 1024; a += kSector) {
        const auto b = [a](int shift) { return static_cast<uint8_t>(a >> shift); };
        const std::vector<RegStep> erase = {
            {"", 0x05, 0xFD}, {"", 0x08, kSpiWriteEnable}, {"", 0x05, 0xFE}, {"", 0x08, 0x00},  // write enable
            {"", 0x05, 0xFD}, {"", 0x08, kSpiSectorErase}, {"", 0x08, b(16)}, {"", 0x08, b(8)},
            {"", 0x08, b(0)}, {"", 0x05, 0xFE}, {"", 0x08, 0x00},                             // sector erase
            {"", 0x05, 0xFD}, {"", 0x08, kSpiReadStatus},                                     // status
        };
        if (regWrites(erase) != Step::Ok) return failed();
        uint8_t status = 0xFF;
        for (int i = 0; i < 10 && (status & 1); ++i)
            if (ack({kDataRead}, status) != Step::Ok) return failed();
        if (status != kSectorStatusGood) {
            if (!warned)
                view_.log2("Возможно, проблема с блоком:", "There may be a problem with the block:");
            warned = true;
            const std::string tail = hex5(a + kSector) + "h [" + hex2(status) + " (FCh)]\n";
            view_.log2("От ADR: " + hex5(a) + "h до " + tail, "From ADR: " + hex5(a) + "h to " + tail);
        }
        if (regWrites({{"", 0x05, 0xFE}, {"", 0x08, 0x00}}) != Step::Ok) return failed();
        view_.gaugePos(static_cast<int>(a / kSector) + 1);
    }
    view_.log2("Стирание закончено.", "ERASE complete.");
    return true;
}

bool IteCore::gatewayVerify() {
    size_t at = 0;
    const Step prep = regWrites(kReadPreparation, at);
    if (prep == Step::Lost) {
        lost("(TMO)");
        return false;
    }
    if (prep != Step::Ok) {
        view_.log2("Ошибка BUSY подготовка!", "ERROR BUSY INIT!");
        return false;
    }
    int differences = 0;
    for (int b = 0; b < opKiB_ * 4 && differences < 16; ++b) {
        const Xfer x = fetch(xbuf_);
        if (x == Xfer::Overflow) {
            protocolFault();
            return false;
        }
        if (x != Xfer::Ok) {
            lost("(TMO)");
            return false;
        }
        if (xbuf_[kBlock] != kOk) {
            view_.log2("Ошибка при чтении блока ->" + std::to_string(b + 1),
                       "ERROR reading block ->" + std::to_string(b + 1));
            return false;
        }
        for (int i = 0; i < kBlock && differences < 16; ++i) {
            const uint32_t x8 = static_cast<uint32_t>(b * kBlock + i);
            if (xbuf_[static_cast<size_t>(i)] == image_[x8]) continue;
            ++differences;
            view_.logLang(Lang::Ru, "Adress: " + hex5(x8) + "h WR:" + hex2(image_[x8]) + "h RD:" +
                                        hex2(xbuf_[static_cast<size_t>(i)]));
        }
        view_.gaugePos(b + 1);
    }
    if (differences > 0) {
        view_.log2("!!! НЕ СОВПАДАЕТ !!!", "!!! ERROR The data does not match !!!");
        return false;
    }
    view_.log2("Данные совпадают!", "The data is the same!");
    return true;
}

// The 8580's own algorithm: erase, blank check, 256-byte pages each after its
// address batch, verify. It covers the first 128 KiB whatever the flash size.
void IteCore::write8580() {
    wait(400);
    auto failed = [this] {
        plainFinish(false);
        release(false);
    };
    if (!erase8580()) return failed();
    view_.log2("Стерли 8580 успешно.", "Erase 8580 complete");
    wait(100);
    view_.log2("Проверка 8580 на чистоту ...", "Check clear, please wait ... ");
    view_.gaugePos(0);
    view_.gaugeMax(512);
    view_.gaugeColor(kYellow);
    uint8_t a = 0;
    if (regWrite(0x61, 0x01) == Step::Lost) {
        lost("(TMO)");
        return failed();
    }
    const Pass blank = compare8580(true);
    if (blank == Pass::Failed) return failed();
    if (blank == Pass::Different) {
        view_.log2("Ошибка. Не стерто!", "Error. Not clear!");
        return failed();
    }
    view_.log2("Все стерто.", "All clear.!");
    wait(100);
    view_.log2("Записываем байты ...", "Write bytes...");
    view_.gaugePos(0);
    view_.gaugeMax(512);
    view_.gaugeColor(kRed);
    Step s = ack(batchWriteSetup(), a);
    if (s == Step::Lost) {
        lost("(TMO)");
        return failed();
    }
    if (a == kBusy) {
        view_.log2("Ошибка BUSY Write_Init", "Error BUSY Write_Init");
        return failed();
    }
    std::vector<uint8_t> page(1 + kBlock);
    page[0] = kPage;
    for (uint32_t at = 0; at < static_cast<uint32_t>(k8580Size); at += kBlock) {
        s = ack(batchPageAddress(at), a);
        if (s == Step::Ok && a == kBusy) {
            view_.log2("Ошибка BUSY Write_Bytes ADR 0x" + hex5(at), "Error BUSY Write_Bytes ADR 0x" + hex5(at));
            return failed();
        }
        std::copy_n(image_.begin() + at, kBlock, page.begin() + 1);
        if (s == Step::Ok) s = ack(page, a);
        if (s == Step::Lost) {
            lost("(TMO)");
            return failed();
        }
        if (a != kPageOk) {
            view_.log2("Ошибка Write_Bytes ADR 0x" + hex5(at), "Error Write_Bytes ADR 0x" + hex5(at));
            return failed();
        }
        view_.gaugePos(static_cast<int>((at + kBlock) / kBlock));
    }
    view_.log2("Завершено успешно", "Write complete");
    wait(100);
    view_.log2("Верификация ...", "Verify, please wait ... ");
    view_.gaugePos(0);
    view_.gaugeMax(512);
    view_.gaugeColor(kLime);
    if (regWrite(0x61, 0x01) == Step::Lost) {
        lost("(TMO)");
        return failed();
    }
    const Pass verify = compare8580(false);
    if (verify == Pass::Failed) return failed();
    if (verify == Pass::Different) {
        view_.log2("Ошибка. Не совпадает!", "Error. Values do not match!");
        return failed();
    }
    view_.log2("Успешно!", "Succesffully!");
    view_.timeStamp2();
    plainFinish(true);
    release(true);
}

bool IteCore::erase8580() {
    struct EraseStep {
        bool lone;  // a data write cycle on its own, to the register selected last
        uint8_t reg, value;
    };
    static const EraseStep steps[] = {
        {false, 0x61, 0x01}, {false, 0x04, 0xFF}, {false, 0x07, 0x3F}, {false, 0x06, 0xFF},
        {false, 0x04, 0xFF}, {false, 0x06, 0x01}, {false, 0x05, 0x0A}, {false, 0x04, 0xAA},
        {true, 0, 0xB0},     {false, 0x05, 0x0B}, {false, 0x04, 0xBB}, {true, 0, 0x10},
    };
    for (const EraseStep& e : steps) {
        uint8_t a = 0;
        const Step s = e.lone ? ack({kDataWrite, e.value}, a) : regWrite(e.reg, e.value);
        if (s == Step::Lost) {
            lost("(TMO)");
            return false;
        }
        if (e.lone ? a == kBusy : s != Step::Ok) {
            view_.log2("Ошибка BUSY стирания 8580!1", "Error BUSY Erase 8580!1");
            return false;
        }
    }
    uint8_t v = 0;
    for (int i = 0; i < 11 && v != kPageOk; ++i) {
        wait(50);
        if (ack({kDataRead}, v) != Step::Ok) {
            lost("(TMO)");
            return false;
        }
    }
    if (v != kPageOk) {
        view_.log2("Ошибка ответа при стирании 8580! " + hex2(v), "Error answer (erase 8580)! " + hex2(v));
        return false;
    }
    return true;
}

// The blank check (every byte 0xFF) or the verify against the image, block by
// block; both stop at the first block that differs.
IteCore::Pass IteCore::compare8580(bool blankCheck) {
    for (int b = 0; b < k8580Size / kBlock; ++b) {
        uint8_t a = 0;
        if (ack(batchBlockAddress(0x3F, b), a) != Step::Ok) {
            lost("(TMO)");
            return Pass::Failed;
        }
        if (a != kOk) {
            if (blankCheck) view_.log2("Ошибка BUST при чтении!", "Error BUSY Read_Init!");
            else view_.log2("Ошибка BUSY при чтении!", "Error BUSY Read_Init!");
            return Pass::Different;
        }
        const Xfer x = fetch(xbuf_);
        if (x == Xfer::Overflow) {
            protocolFault();
            return Pass::Failed;
        }
        if (x != Xfer::Ok) {
            lost("(TMO)");
            return Pass::Failed;
        }
        if (xbuf_[kBlock] != kOk) {
            view_.log2("Ошибка чтения блока -> " + std::to_string(b + 1), "ERROR reading block -> " + std::to_string(b + 1));
            return Pass::Failed;
        }
        const auto data = xbuf_.begin();
        const bool same = blankCheck ? std::all_of(data, data + kBlock, [](uint8_t c) { return c == 0xFF; })
                                     : std::equal(data, data + kBlock, image_.begin() + b * kBlock);
        if (!same) return Pass::Different;
        view_.gaugePos(b + 1);
    }
    return Pass::Same;
}

}  // namespace qj::ite
