#include "player/load_message.h"

#include <cstring>

#include "player/psid_loader.h"

namespace {

constexpr const char* basic_program_text = "this tune is a BASIC program and needs the C64's BASIC ROM";

std::string with_system_reason(const char* what) {
    int number = load_error_number();
    return number ? std::string(what) + ": " + std::strerror(number) : std::string(what);
}

}  // namespace

std::string load_failure_message(int load_result) {
    if (load_result == LOAD_OK) return "";
    switch (last_load_refusal()) {
    case LoadRefusal::cannot_open: return with_system_reason("cannot open the file");
    case LoadRefusal::cannot_read: return with_system_reason("cannot read the file");
    case LoadRefusal::no_psid_magic: return "not a PSID file: it does not begin with \"PSID\" or \"RSID\"";
    case LoadRefusal::basic_program: return basic_program_text;
    case LoadRefusal::ends_inside_header: return "not a PSID file: the file ends inside its header";
    case LoadRefusal::no_tune_data: return "not a PSID file: the file holds no tune data";
    case LoadRefusal::mus_data: return "not a playable tune: the file holds Sidplayer MUS data, not 6502 code";
    case LoadRefusal::none: break;
    }
    switch (load_result) {
    case LOAD_CANNOT_OPEN: return "cannot open the file";
    case LOAD_NOT_PSID: return "not a PSID file";
    case LOAD_MUS: return "not a playable tune: the file holds Sidplayer MUS data, not 6502 code";
    case LOAD_BASIC: return basic_program_text;
    default: return "the tune did not load";
    }
}

const char* load_failure_box_text(int load_result) {
    switch (load_result) {
        case LOAD_NOT_PSID: return "Not a PSID-file?";
        case LOAD_MUS: return "What is MUS?";
        case LOAD_BASIC: return basic_program_text;
        default: return "Couldn't open file.";
    }
}
