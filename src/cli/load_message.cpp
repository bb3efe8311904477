#include "cli/load_message.h"

#include "player/psid_loader.h"

const char* load_failure_message(int load_result) {
    switch (load_result) {
    case LOAD_CANNOT_OPEN: return "Couldn't open file.";
    case LOAD_NOT_PSID: return "Not a PSID-file?";
    case LOAD_MUS: return "What is MUS?";
    default: return nullptr;
    }
}
