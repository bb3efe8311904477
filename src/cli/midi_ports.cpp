#include "cli/midi_ports.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "platform/midi_stream_api.h"

namespace {

// stderr pointed at /dev/null while it lives, then back where it was.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_;
};

bool all_digits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

MidiPorts use_midi_ports() {
    MidiPorts ports;
    {
        QuietStderr quiet;
        ports.services = stream_engine::use_system_midi_devices();
    }
    UINT count = midiOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        MIDIOUTCAPSA caps{};
        if (midiOutGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR) caps.szPname[0] = '\0';
        caps.szPname[sizeof caps.szPname - 1] = '\0';
        ports.names.emplace_back(caps.szPname);
    }
    return ports;
}

namespace {

std::string lower_case(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The ports to choose from, for a name or index that chose none.
std::string port_list(const std::vector<std::string>& names) {
    std::string list = "; the ports are:";
    for (size_t i = 0; i < names.size(); ++i) list += "\n  " + std::to_string(i) + "  " + names[i];
    return list;
}

int find_port_by_name(const std::string& wanted, const std::vector<std::string>& names, std::string& why) {
    // Port names come as the system spells them ("Midi Through", "SID
    // synth"), which a user rarely types alike: letter case never counts,
    // except to tell apart names that differ in nothing else.
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == wanted) return static_cast<int>(i);
    std::string folded = lower_case(wanted);
    int found = -1;
    int matches = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (lower_case(names[i]) == folded) return static_cast<int>(i);
        if (lower_case(names[i]).find(folded) != std::string::npos) {
            found = static_cast<int>(i);
            ++matches;
        }
    }
    if (matches == 1) return found;
    why = matches == 0 ? "no MIDI output port is named \"" + wanted + "\""
                       : "\"" + wanted + "\" is part of " + std::to_string(matches) +
                             " port names; give more of the name or the index";
    return -1;
}

}  // namespace

int find_port(const std::string& wanted, const std::vector<std::string>& names, std::string& why) {
    if (names.empty()) {
        why = "there is no MIDI output port";
        return -1;
    }
    if (all_digits(wanted)) {
        if (wanted.size() < 9) {
            size_t index = std::stoul(wanted);
            if (index < names.size()) return static_cast<int>(index);
        }
        why = "no MIDI output port has the index " + wanted + port_list(names);
        return -1;
    }
    int found = find_port_by_name(wanted, names, why);
    if (found < 0) why += port_list(names);
    return found;
}

int default_port(const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].find("Midi Through") == std::string::npos) return static_cast<int>(i);
    return names.empty() ? -1 : 0;
}
