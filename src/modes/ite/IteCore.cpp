#include "modes/ite/IteCore.h"

#include <cstdio>

#include "jig/Text.h"
#include "modes/common/WiringList.h"
#include "modes/Modes.h"

namespace qj::ite {

const std::vector<std::string>& helpRu() {
    static const std::vector<std::string> h = {
        std::string(35, ' ') + "Порядок подключения:",
        "",
        " 1  Соедините программатор и MB шлейфом. Количество контактов шлейфа должно ",
        "    быть равно количеству контактов разъема клавиатуры. На программаторе шлейф ",
        "    ставится с первого контакта! MB не запитана! Программатор подключен к ПК. ",
        "    Не забудьте про общую землю (GND) между программатором и MB!",
        " 2  Выберите настройки сигналов (выпадающий список) и нажмите \"APPLY\". ",
        " 3  Подключите к MB адаптер питания (не батарею!). ",
        " 4  Подождите 3-5 секунд и нажмите \"Check connection\". ",
        " 5  Теперь \"READ\" или \"WRITE\". После завершения отключите питание MB и ",
        "    отсоедините шлейф.",
        "",
        "Чтение  128КБ около 13 сек. ",
        "Запись до 4 минут и напрямую зависит от \"содержимого\" прошивки. ",
        "Память мультиконтроллера, на большинстве плат, используется на 50%, ",
        "поэтому время записи около 2 минут (120сек)",
        "",
    };
    return h;
}

const std::vector<std::string>& helpEn() {
    static const std::vector<std::string> h = {
        std::string(31, ' ') + "__ Step by step __",
        "",
        " 1  Connect the programmer and MB witch flexible cable.",
        "    Number of contacts in the flexible cable must be equal to the number of contact ",
        "    keyboard jack. On the programmer, flexible cable set from the first contact! MB ",
        "    is not powered! The programmer connect to the PC. Do not forget about the GROUND ",
        "    between  the programmer and the MB!",
        " 2  Set the control signals (drop-down list) and click \"Apply settings\". ",
        " 3  Connect the adapter (not battery!), and after 3-5 seconds click ",
        "    \"Check connection\". ",
        " 4  Now the \"Read\" or \"Write\". After complete- disconnect power from MB and ",
        "    disconnect flexible cable.",
        "",
    };
    return h;
}

IteCore::IteCore(FtdiApi& api, ModeView& view) : Operations(api, view), api_(api), xbuf_(kBlock + 1) {}

IteCore::~IteCore() { worker_.join(); }

// ---------------------------------------------------------------- board list and pin map

bool IteCore::chosenExternal() const {
    return loaded_ && boardIndex_ > 0 && contains(items_[static_cast<size_t>(boardIndex_)], kExternalWord);
}

bool IteCore::chosenMotherboard() const { return loaded_ && boardIndex_ > 0 && !chosenExternal(); }

void IteCore::enableButtons(std::initializer_list<const char*> names, bool on) {
    for (const char* n : names) view_.setEnabled(n, on);
}

void IteCore::FormCreate() {
    enableButtons({kSetupButton, kCheckButton, kReadButton, kWriteButton, kMirrorBox}, false);
    items_.clear();
    boardIndex_ = 0;
    auto lines = wiring::readList(kWiringFile);
    loaded_ = lines.has_value();
    if (!loaded_) {
        items_.push_back(kNotFoundItem);
        return;  // the window paints the item's text red
    }
    items_.reserve(lines->size() + 2);
    items_.push_back(kPromptItem);
    items_.push_back(kExternalItem);
    for (auto& l : *lines) items_.push_back(std::move(l));
    view_.setColor(kBoardCombo, kYellow);
}

void IteCore::boardInvalid() {
    enableButtons({kSetupButton, kCheckButton, kReadButton, kWriteButton, kMirrorBox}, false);
    view_.setColor(kBoardCombo, kYellow);
    boardIndex_ = 0;
}

void IteCore::ITE_ComboBox_MB_SWITCHSelect(int index) {
    // The list offers nothing to choose without the file; a check or transfer
    // owns the choice it started with.
    if (!loaded_ || !busy_.idle()) return;
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return;
    sizeOverride_ = false;
    // The pin map is read as the file gives it: the box says "not mirrored".
    boxChecked_ = true;
    view_.setChecked(kMirrorBox, true);
    if (index == 0) return boardInvalid();
    const std::string& text = items_[static_cast<size_t>(index)];
    if (contains(text, kExternalWord)) {
        view_.setEnabled(kMirrorBox, false);
    } else {
        view_.setEnabled(kMirrorBox, true);
        const std::string bad = readPinMap(text, map_);
        if (!bad.empty()) {
            view_.log2("Не найдена или не верна информация о номере контакта сигнала ",
                       "Information about the contact number is not found or false! ");
            view_.log2(bad);
            return boardInvalid();
        }
        flashKiB_ = 128;
        if (contains(text, kFlash192)) {
            flashKiB_ = 192;
            view_.log2("Предупреждение! Выбран размер FLASH ITE 192KB", "Warning! Selected FLASH ITE size 192KB");
            sizeOverride_ = true;
        }
    }
    boardIndex_ = index;
    view_.setEnabled(kSetupButton, true);
    enableButtons({kCheckButton, kReadButton, kWriteButton}, false);
    view_.setColor(kBoardCombo, kSkyBlue);
}

void IteCore::ITE_CheckBoxClick(bool checked) {
    (void)checked;  // every click mirrors; the box then shows what will be sent
    if (!busy_.idle() || !chosenMotherboard()) {
        view_.setChecked(kMirrorBox, boxChecked_);
        return;
    }
    int count = 0;
    switch (mirrorPinMap(items_[static_cast<size_t>(boardIndex_)], map_, count)) {
    case Mirror::Done:
        boxChecked_ = !boxChecked_;
        break;
    case Mirror::NoCount:
        view_.log2("Не найдена информация по количеству контактов разьема клавиатуры на MB!",
                   "Not found the information on the number of contacts on the keyboard connector MB!");
        break;
    case Mirror::BadCount:
        view_.log2("Неверное количество контактов разьема клавиатуры (23 < допустимо < 33)!",
                   "Wrong number of keyboard connector contacts (23 < acceptable <33)!");
        break;
    case Mirror::BeyondCount:
        view_.log2("Номер контакта сигнала больше количества контактов разьема клавиатуры (" +
                       std::to_string(count) + "), зеркальное отображение невозможно!",
                   "A signal's contact number is larger than the keyboard connector's contact count (" +
                       std::to_string(count) + "): the pins cannot be mirrored!");
        break;
    }
    view_.setChecked(kMirrorBox, boxChecked_);
}

void IteCore::CheckBox_RUS_ENGClick(bool checked) {
    view_.setVisible(kMemoRu, checked);
    view_.setVisible(kMemoEn, !checked);
}

void IteCore::ITE_EXIT_BitBtnClick() {
    if (!busy_.idle()) return;
    view_.clearLog();
    leaveMode(view_, ModeId::Ite);
    view_.gaugePos(0);
}

// ---------------------------------------------------------------- exchanges

void IteCore::wait(int ms) { link_.api().clock().sleepMs(ms); }

IteCore::Step IteCore::ack(std::initializer_list<uint8_t> cmd, uint8_t& answer, uint32_t deadlineMs) {
    return ack(std::vector<uint8_t>(cmd), answer, deadlineMs);
}

IteCore::Step IteCore::ack(const std::vector<uint8_t>& cmd, uint8_t& answer, uint32_t deadlineMs) {
    answer = 0;
    if (link_.write(cmd) != FT_OK) return Step::Lost;
    return link_.awaitByte(answer, deadlineMs) == Xfer::Ok ? Step::Ok : Step::Lost;
}

IteCore::Step IteCore::regWrite(uint8_t reg, uint8_t value) {
    uint8_t a = 0;
    if (ack({kAddress, reg}, a) == Step::Lost) return Step::Lost;
    if (a != kOk) return Step::Refused;  // no data cycle after a refused address
    if (ack({kDataWrite, value}, a) == Step::Lost) return Step::Lost;
    return a == kOk ? Step::Ok : Step::Refused;
}

IteCore::Step IteCore::regRead(uint8_t reg, uint8_t& value) {
    uint8_t a = 0;
    if (ack({kAddress, reg}, a) == Step::Lost) return Step::Lost;
    if (a == kBusy) return Step::Refused;
    return ack({kDataRead}, value);
}

IteCore::Step IteCore::regWrites(const std::vector<RegStep>& steps, size_t& failedAt) {
    for (failedAt = 0; failedAt < steps.size(); ++failedAt) {
        const Step s = regWrite(steps[failedAt].reg, steps[failedAt].value);
        if (s != Step::Ok) return s;
    }
    return Step::Ok;
}

Xfer IteCore::fetch(std::vector<uint8_t>& block) {
    return link_.sendAwaitCount({kFetch}, kBlock + 1, true, block, Deadlines::kBlockAnswerMs);
}

// ---------------------------------------------------------------- shared steps

void IteCore::extPower(bool on) {
    if (!opExternal_) return;
    uint8_t a = 0;
    if (!on) {
        ack({kExtOff}, a);
        return;
    }
    ack({kExtOn1}, a);
    wait(100);
    ack({kExtOn2}, a);
}

void IteCore::signal(bool ok) {
    uint8_t a = 0;
    ack({static_cast<uint8_t>(ok ? 'I' : 'O')}, a);
}

void IteCore::noAnswer(const std::string& code) {
    view_.log2("ITE мульт нам не отвечает, проверяйте соединение и настройки выводов. MB запитана? " + code,
               "ITE we do not respond, check the connection and settings. MB powered? " + code);
}

// A step the target did not answer as it should, or a bound the jig missed:
// whatever it still sends is dropped before the closing steps.
void IteCore::lost(const std::string& code) {
    link_.purge();
    noAnswer(code);
}

void IteCore::protocolFault() {
    link_.purge();
    view_.log2("Ответ блока длиннее 257 байт: ошибка протокола.", "Block answer longer than 257 bytes: protocol error.");
}

void IteCore::lockChoice(bool locked) {
    view_.setEnabled(kBoardCombo, !locked && loaded_);
    view_.setEnabled(kMirrorBox, !locked && chosenMotherboard());
}

void IteCore::plainFinish(bool ok) {
    extPower(false);
    signal(ok);
    link_.close();
    enableButtons({kCheckButton, kExitButton, kReadButton, kWriteButton, kSetupButton}, true);
}

void IteCore::stampedFinish(bool ok) {
    signal(ok);
    view_.timeStamp2();
    extPower(false);
    link_.close();
    enableButtons({kCheckButton, kExitButton, kReadButton, kWriteButton, kSetupButton}, true);
}

// The end of every check and transfer: the window is idle again once the
// updates issued so far are on the screen.
void IteCore::release(bool ok) {
    lockChoice(false);
    finish(ok);
}

// ---------------------------------------------------------------- Apply settings

void IteCore::ITE_SETUP_BitBtnClick() {
    // A check or transfer owns the link until it ends.
    if (!busy_.idle()) return;
    outcome_ = Outcome::Failed;
    view_.timeStamp2();
    if (link_.open(mode(ModeId::Ite).open, view_) != OpenResult::Ready) return;
    link_.eventChar(kFrameOk);  // the pin assignments' acceptance
    const bool external = chosenExternal();
    ExternalTable ext{};
    if (external) {
        view_.log2("Выбраны настройки под внешнюю плату", "External board settings");
        std::vector<uint8_t> a;
        const bool answered = link_.write({kDetect}) == FT_OK && link_.collect(2, a, Deadlines::kByteAnswerMs) == Xfer::Ok;
        const ExtFit fit = answered ? externalFit(a[0], a[1]) : ExtFit::Absent;
        if (fit == ExtFit::Absent || fit == ExtFit::Both) {
            if (!answered) {
                link_.purge();
                view_.log2("The programmer is not found or does not respond");
            } else if (fit == ExtFit::Absent) {
                view_.log2("Внешняя плата не подключена!", "External board not connected!");
            } else {
                view_.log2("Ошибка опознования типа внешней платы!", "Error recognition external board!");
            }
            signal(false);
            link_.close();
            enableButtons({kCheckButton, kReadButton, kWriteButton}, false);
            return;
        }
        const bool turned = fit == ExtFit::Contacts3132;
        view_.log2(turned ? "Внешняя плата подключена! (31-32)" : "Внешняя плата подключена! (1-2)",
                   turned ? "External board connected! (31-32)" : "External board connected! (1-2)");
        ext = externalTable(turned);
        for (int p = 0; p < kPins; ++p)
            if (p != KSI4 && p != KSI5) map_[static_cast<size_t>(p)] = ext.map[static_cast<size_t>(p)];
    }
    view_.log2("Отправляем настройки.", "Send the settings.");
    uint8_t a = 0;
    Step s = ack({kSetup}, a);
    if (s != Step::Ok || a != kSetupOk) {
        if (s == Step::Lost) link_.purge();
        view_.log2("Ошибка при входе в режим настроек.", "Error when entering the setup mode.");
        link_.close();
        return;
    }
    for (const auto& frame : setupFrames(map_, external, ext.pw, ext.rs)) {
        s = ack(frame, a);
        if (s != Step::Ok || a != kFrameOk) {
            // The jig stays in its set-up mode; the user may apply the settings again.
            if (s == Step::Lost) link_.purge();
            view_.log2("Ошибка протокола при настройке выводов.", "Protocol error when setting pins.");
            link_.close();
            return;
        }
    }
    view_.log2("Настройки все отправлены.", "All settings sent.");
    enableButtons({kExitButton, kCheckButton}, true);
    signal(true);
    link_.close();
    outcome_ = Outcome::Ok;
}

void IteCore::Execute() {
    link_.eventChar(kOk);  // what the transfers' answers end in (blocks, cycles, chunks)
    if (busy_.is(Busy::Check_connection)) return checkConnection();
    if (busy_.is(Busy::INIT_READ_ITE)) readPreparation();
    if (busy_.is(Busy::READ_ITE)) return readFlash();
    if (busy_.is(Busy::WRITE_ITE_step_one)) return gatewayWrite();
    if (busy_.is(Busy::WRITE_ITE_8580)) return write8580();
}

}  // namespace qj::ite
