// Works the real zarvel.exe under Wine the way a user would, through its
// windows: finds them by title, clicks buttons, picks songs, moves the
// scales, reads texts, list lines and message boxes, and reads the registry
// and the stand-in MIDI device's recording. Each command prints what it read
// and returns 0, or prints why not and returns 1. Texts cross the process
// boundary with the wide-character messages, which the window system copies
// between processes.
//
//   zarvel-driver <command> [arguments]     (see usage() below)
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "record.h"
#include "test_tunes.h"

namespace {

constexpr DWORD send_timeout_ms = 10000;  // a handler that takes longer counts as hung
constexpr DWORD find_timeout_ms = 5000;   // a window that takes longer to appear is missing
constexpr DWORD poll_ms = 20;

using Args = std::vector<std::string>;

int fail(const char* format, ...) {
    va_list list;
    va_start(list, format);
    std::fputs("driver: ", stderr);
    std::vfprintf(stderr, format, list);
    std::fputc('\n', stderr);
    va_end(list);
    return 1;
}

std::wstring widen(const std::string& text) {
    std::wstring out(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

std::string narrow(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

int number(const std::string& text) { return static_cast<int>(std::strtol(text.c_str(), nullptr, 0)); }

struct TitleSearch {
    std::wstring prefix;
    const wchar_t* window_class;
    HWND found;
};

BOOL CALLBACK match_title_prefix(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<TitleSearch*>(data);
    wchar_t text[256] = {}, name[64] = {};
    GetWindowTextW(window, text, 256);
    GetClassNameW(window, name, 64);
    if (!IsWindowVisible(window) || std::wcsncmp(text, search.prefix.c_str(), search.prefix.size()) != 0 ||
        (search.window_class && std::wcscmp(name, search.window_class) != 0))
        return TRUE;
    search.found = window;
    return FALSE;
}

// A visible top-level window with exactly this title, or this title and
// " - " and more: the main window's title shows the song's time while a song
// plays (any class when window_class is null; message boxes and dialogs are
// class #32770). A title ending in '*' matches every title that begins with
// the rest.
HWND find_window(const std::string& title, const wchar_t* window_class = nullptr) {
    if (title.empty() || title.back() != '*') {
        HWND window = FindWindowW(window_class, widen(title).c_str());
        if (window && IsWindowVisible(window)) return window;
        TitleSearch search{widen(title + " - "), window_class, nullptr};
        EnumWindows(match_title_prefix, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    TitleSearch search{widen(title.substr(0, title.size() - 1)), window_class, nullptr};
    EnumWindows(match_title_prefix, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND wait_for_window(const std::string& title, DWORD timeout_ms, const wchar_t* window_class = nullptr) {
    for (DWORD waited = 0;; waited += poll_ms) {
        if (HWND window = find_window(title, window_class)) return window;
        if (waited >= timeout_ms) return nullptr;
        Sleep(poll_ms);
    }
}

std::string window_text(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, send_timeout_ms,
                        &ignored);
    return narrow(text);
}

// Sends and waits for the handler to finish; false when it does not within
// the time limit (the window is hung, or waiting on something that never comes).
bool send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result = nullptr) {
    DWORD_PTR out = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, send_timeout_ms, &out)) return false;
    if (result) *result = static_cast<LRESULT>(out);
    return true;
}

struct Control {
    HWND dialog = nullptr;
    HWND window = nullptr;
};

// title and id name one control of one dialog.
bool find_control(const std::string& title, const std::string& id, Control& out) {
    out.dialog = wait_for_window(title, find_timeout_ms);
    if (!out.dialog) return fail("no window \"%s\"", title.c_str()), false;
    out.window = GetDlgItem(out.dialog, number(id));
    if (!out.window) return fail("\"%s\" has no control %s", title.c_str(), id.c_str()), false;
    return true;
}

// --- processes -----------------------------------------------------------

bool start_process(const std::string& exe, const std::string& argument, PROCESS_INFORMATION& process) {
    // The argument text exactly as given: the program sees it after its own
    // quoted name and one blank.
    std::wstring command = L"\"" + widen(exe) + L"\"";
    if (!argument.empty()) command += L" " + widen(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return fail("cannot start %s (error %lu)", exe.c_str(), GetLastError()), false;
    }
    return true;
}

// launch EXE ARGUMENT: starts it and returns at once.
int launch(const Args& a) {
    PROCESS_INFORMATION process;
    if (!start_process(a[0], a[1], process)) return 1;
    std::printf("pid=%lu\n", process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

// run EXE ARGUMENT TIMEOUT_MS: starts it and waits for its exit code.
int run(const Args& a) {
    PROCESS_INFORMATION process;
    if (!start_process(a[0], a[1], process)) return 1;
    CloseHandle(process.hThread);
    DWORD waited = WaitForSingleObject(process.hProcess, number(a[2]));
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        return fail("%s still running after %s ms", a[0].c_str(), a[2].c_str());
    }
    CloseHandle(process.hProcess);
    std::printf("exit=%lu\n", code);
    return 0;
}

// wait-exit PID TIMEOUT_MS: waits for a launched process to end and prints
// its exit code.
int wait_exit(const Args& a) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, number(a[0]));
    if (!process) {
        std::printf("exit=gone\n");  // ended and already reaped
        return 0;
    }
    DWORD waited = WaitForSingleObject(process, number(a[1]));
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) return fail("process %s still running after %s ms", a[0].c_str(), a[1].c_str());
    std::printf("exit=%lu\n", code);
    return 0;
}

// --- windows -------------------------------------------------------------

// wait-window TITLE TIMEOUT_MS
int wait_window(const Args& a) {
    if (!wait_for_window(a[0], number(a[1]))) return fail("no window \"%s\" within %s ms", a[0].c_str(), a[1].c_str());
    return 0;
}

// wait-gone TITLE TIMEOUT_MS
int wait_gone(const Args& a) {
    for (DWORD waited = 0; find_window(a[0]); waited += poll_ms) {
        if (waited >= static_cast<DWORD>(number(a[1]))) return fail("\"%s\" still open", a[0].c_str());
        Sleep(poll_ms);
    }
    return 0;
}

// no-window TITLE MS: no window of that title shows up for that long.
int no_window(const Args& a) {
    if (HWND window = wait_for_window(a[0], number(a[1]))) {
        return fail("unexpected window \"%s\": %s", a[0].c_str(), window_text(window).c_str());
    }
    return 0;
}

// click TITLE ID: BM_CLICK, waiting until the dialog has handled the click.
int click(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    if (!send(c.window, BM_CLICK, 0, 0)) return fail("click on %s of \"%s\" not handled", a[1].c_str(), a[0].c_str());
    return 0;
}

// clicks TITLE ID...: one click after the other, each handled before the
// next, as fast as the window takes them; prints the ms between the first
// click and the last.
int clicks(const Args& a) {
    std::vector<Control> controls(a.size() - 1);
    for (size_t i = 1; i < a.size(); ++i) {
        if (!find_control(a[0], a[i], controls[i - 1])) return 1;
    }
    DWORD first = GetTickCount(), last = first;
    for (size_t i = 0; i < controls.size(); ++i) {
        last = GetTickCount();
        if (!send(controls[i].window, BM_CLICK, 0, 0)) return fail("click on %s not handled", a[i + 1].c_str());
    }
    std::printf("%lu\n", last - first);
    return 0;
}

// end-session TITLE: the system's shutdown as the window sees it: asked
// whether the session may end, then told that it ends.
int end_session(const Args& a) {
    HWND window = wait_for_window(a[0], find_timeout_ms);
    if (!window) return fail("no window \"%s\"", a[0].c_str());
    LRESULT may_end = 0;
    if (!send(window, WM_QUERYENDSESSION, 0, 0, &may_end)) return fail("WM_QUERYENDSESSION not handled");
    if (!may_end) return fail("the window refuses to let the session end");
    if (!send(window, WM_ENDSESSION, TRUE, 0)) return fail("WM_ENDSESSION not handled");
    return 0;
}

// post-click TITLE ID: BM_CLICK without waiting, for buttons that open a
// modal dialog (the click is handled only when that dialog ends).
int post_click(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    if (!PostMessageW(c.window, BM_CLICK, 0, 0)) return fail("cannot post to \"%s\"", a[0].c_str());
    return 0;
}

// command TITLE ID: the WM_COMMAND a control or a key (2 = Escape) sends.
int command(const Args& a) {
    HWND dialog = wait_for_window(a[0], find_timeout_ms);
    if (!dialog) return fail("no window \"%s\"", a[0].c_str());
    int id = number(a[1]);
    if (!send(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)))) {
        return fail("command %d not handled", id);
    }
    return 0;
}

// select TITLE ID INDEX: a combo box choice as the user makes it: the
// selection, then the notification the selector sends its dialog.
int select(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    send(c.window, CB_SETCURSEL, number(a[2]), 0);
    WPARAM notify = MAKEWPARAM(GetDlgCtrlID(c.window), CBN_SELCHANGE);
    if (!send(c.dialog, WM_COMMAND, notify, reinterpret_cast<LPARAM>(c.window))) {
        return fail("song change not handled within %lu ms", send_timeout_ms);
    }
    return 0;
}

// select-answer TITLE ID INDEX: the same song change, posted as the
// selector posts it, then how long the window takes to answer: it repaints
// only once it is back in its own message loop.
int select_answer(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    send(c.window, CB_SETCURSEL, number(a[2]), 0);
    WPARAM notify = MAKEWPARAM(GetDlgCtrlID(c.window), CBN_SELCHANGE);
    DWORD start = GetTickCount();
    if (!PostMessageW(c.dialog, WM_COMMAND, notify, reinterpret_cast<LPARAM>(c.window))) return fail("cannot post");
    InvalidateRect(c.dialog, nullptr, FALSE);
    while (GetUpdateRect(c.dialog, nullptr, FALSE)) {
        if (GetTickCount() - start >= send_timeout_ms) return fail("no repaint within %lu ms", send_timeout_ms);
        Sleep(1);
    }
    std::printf("%lu\n", GetTickCount() - start);
    return 0;
}

// list-select TITLE ID INDEX: selects a list box line (no notification).
int list_select(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    send(c.window, LB_SETCURSEL, number(a[2]), 0);
    return 0;
}

// key TITLE VK...: each virtual key pressed and released on the control
// that has the keyboard focus in that window, as a keyboard delivers it
// (posted to the window's own message loop). Returns once they are posted;
// a read of what they did must wait for it.
int key(const Args& a) {
    HWND window = wait_for_window(a[0], find_timeout_ms);
    if (!window) return fail("no window \"%s\"", a[0].c_str());
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
    HWND target = thread.hwndFocus ? thread.hwndFocus : window;
    for (size_t i = 1; i < a.size(); ++i) {
        WPARAM vk = static_cast<WPARAM>(number(a[i]));
        LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC)) << 16;
        PostMessageW(target, WM_KEYDOWN, vk, scan | 1);
        PostMessageW(target, WM_KEYUP, vk, scan | 1 | (1u << 30) | (1u << 31));
    }
    return 0;
}

// scroll TITLE ID CODE [THUMB]: one WM_HSCROLL from that scale.
int scroll(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    int thumb = a.size() > 3 ? number(a[3]) : 0;
    if (!send(c.dialog, WM_HSCROLL, MAKEWPARAM(number(a[2]), thumb), reinterpret_cast<LPARAM>(c.window))) {
        return fail("scroll not handled");
    }
    return 0;
}

// text TITLE [ID]: the window's or the control's text.
int text(const Args& a) {
    if (a.size() < 2) {
        HWND window = wait_for_window(a[0], find_timeout_ms);
        if (!window) return fail("no window \"%s\"", a[0].c_str());
        std::printf("%s\n", window_text(window).c_str());
        return 0;
    }
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    std::printf("%s\n", window_text(c.window).c_str());
    return 0;
}

// lines TITLE ID: a list box's lines, one per output line.
int lines(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    LRESULT count = 0;
    if (!send(c.window, LB_GETCOUNT, 0, 0, &count) || count < 0) return fail("not a list box");
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t line[1024] = {};
        LRESULT length = 0;
        send(c.window, LB_GETTEXTLEN, i, 0, &length);
        if (length < 0 || length >= 1024) return fail("line %ld too long", static_cast<long>(i));
        send(c.window, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
        std::printf("%s\n", narrow(line).c_str());
    }
    return 0;
}

// selected TITLE ID: a list box's selected line (-1 for none).
int list_selected(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    LRESULT line = 0;
    send(c.window, LB_GETCURSEL, 0, 0, &line);
    std::printf("%ld\n", static_cast<long>(line));
    return 0;
}

// items TITLE ID: a combo box's items on one line, then "selected=N".
int items(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    LRESULT count = 0, selected = 0;
    if (!send(c.window, CB_GETCOUNT, 0, 0, &count) || count < 0) return fail("not a combo box");
    std::string out;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[256] = {};
        LRESULT length = 0;
        send(c.window, CB_GETLBTEXTLEN, i, 0, &length);
        if (length < 0 || length >= 256) return fail("item %ld too long", static_cast<long>(i));
        send(c.window, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        if (i) out += ' ';
        out += narrow(item);
    }
    send(c.window, CB_GETCURSEL, 0, 0, &selected);
    std::printf("items=%s\nselected=%ld\n", out.c_str(), static_cast<long>(selected));
    return 0;
}

// checked TITLE ID: 1 when the check box or push-like switch is checked.
int checked(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    LRESULT state = 0;
    send(c.window, BM_GETCHECK, 0, 0, &state);
    std::printf("%ld\n", static_cast<long>(state));
    return 0;
}

// scroll-pos TITLE ID: a scale's position.
int scroll_pos(const Args& a) {
    Control c;
    if (!find_control(a[0], a[1], c)) return 1;
    LRESULT position = 0;
    send(c.window, SBM_GETPOS, 0, 0, &position);
    std::printf("%ld\n", static_cast<long>(position));
    return 0;
}

// window TITLE: position, size, topmost state and owner of a window.
int window_state(const Args& a) {
    HWND window = wait_for_window(a[0], find_timeout_ms);
    if (!window) return fail("no window \"%s\"", a[0].c_str());
    RECT frame;
    GetWindowRect(window, &frame);
    LONG exstyle = GetWindowLongW(window, GWL_EXSTYLE);
    HWND owner = GetWindow(window, GW_OWNER);
    std::printf("left=%ld\ntop=%ld\nwidth=%ld\nheight=%ld\ntopmost=%d\nowner=%s\n", frame.left, frame.top,
                frame.right - frame.left, frame.bottom - frame.top, (exstyle & WS_EX_TOPMOST) ? 1 : 0,
                owner ? window_text(owner).c_str() : "");
    return 0;
}

// alive TITLE: the window's thread answers a message within the time limit.
int alive(const Args& a) {
    HWND window = wait_for_window(a[0], find_timeout_ms);
    if (!window) return fail("no window \"%s\"", a[0].c_str());
    DWORD start = GetTickCount();
    if (!send(window, WM_NULL, 0, 0)) return fail("\"%s\" does not answer", a[0].c_str());
    std::printf("answered in %lu ms\n", GetTickCount() - start);
    return 0;
}

// close TITLE: the close box (WM_CLOSE), without waiting.
int close(const Args& a) {
    HWND window = wait_for_window(a[0], find_timeout_ms);
    if (!window) return fail("no window \"%s\"", a[0].c_str());
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

BOOL CALLBACK collect_static_text(HWND child, LPARAM out) {
    wchar_t class_name[32] = {};
    GetClassNameW(child, class_name, 32);
    if (lstrcmpiW(class_name, L"Static") == 0) {
        std::string text = window_text(child);
        if (!text.empty()) *reinterpret_cast<std::string*>(out) += text;
    }
    return TRUE;
}

// box TITLE TIMEOUT_MS: waits for a message box, prints its owner and text,
// and dismisses it with its OK button.
int box(const Args& a) {
    HWND box = wait_for_window(a[0], number(a[1]), L"#32770");
    if (!box) return fail("no message box \"%s\" within %s ms", a[0].c_str(), a[1].c_str());
    HWND owner = GetWindow(box, GW_OWNER);
    std::string message;
    EnumChildWindows(box, collect_static_text, reinterpret_cast<LPARAM>(&message));
    std::printf("owner=%s\ntext=%s\n", owner ? window_text(owner).c_str() : "", message.c_str());
    std::fflush(stdout);
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok) return fail("message box without an OK button");
    PostMessageW(ok, BM_CLICK, 0, 0);
    for (DWORD waited = 0; IsWindow(box); waited += poll_ms) {
        if (waited >= find_timeout_ms) return fail("message box \"%s\" did not close", a[0].c_str());
        Sleep(poll_ms);
    }
    return 0;
}

// --- the Open dialog -------------------------------------------------------

// The file name field: the explorer-style dialog's combo box (cmb13), or the
// older edit field (edt1).
HWND open_file_name(HWND dialog) {
    if (HWND combo = GetDlgItem(dialog, 0x47C)) return combo;
    return GetDlgItem(dialog, 0x480);
}

// open-name TIMEOUT_MS: the file name the Open dialog starts with.
int open_name(const Args& a) {
    HWND dialog = wait_for_window("Open", number(a[0]), L"#32770");
    if (!dialog) return fail("no Open dialog");
    HWND name = open_file_name(dialog);
    if (!name) return fail("no file name field");
    std::printf("%s\n", window_text(name).c_str());
    return 0;
}

// open-choose PATH: types a path into the Open dialog and presses its OK.
int open_choose(const Args& a) {
    HWND dialog = wait_for_window("Open", find_timeout_ms, L"#32770");
    if (!dialog) return fail("no Open dialog");
    HWND name = open_file_name(dialog);
    std::wstring path = widen(a[0]);
    if (!name || !send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()))) return fail("cannot type");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return 0;
}

// open-cancel: closes the Open dialog without a file.
int open_cancel(const Args&) {
    HWND dialog = wait_for_window("Open", find_timeout_ms, L"#32770");
    if (!dialog) return fail("no Open dialog");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    return 0;
}

// --- registry, files, recording ---------------------------------------------

// reg NAME: one value of the program's settings key: type, size and data.
int reg(const Args& a) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Osket\\Zarvel\\Config", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    BYTE data[1024] = {};
    DWORD type = 0, size = sizeof data;
    LONG status = RegQueryValueExA(key, a[0].c_str(), nullptr, &type, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    if (type == REG_DWORD) {
        int32_t value;
        std::memcpy(&value, data, sizeof value);
        std::printf("type=REG_DWORD size=%lu value=%ld\n", size, static_cast<long>(value));
    } else if (type == REG_SZ) {
        std::printf("type=REG_SZ size=%lu value=%s\n", size, reinterpret_cast<char*>(data));
    } else {
        std::printf("type=%lu size=%lu\n", type, size);
    }
    return 0;
}

// make-tune KIND PATH: writes one of our test tunes (see test_tunes.h).
int make_tune(const Args& a) {
    std::vector<uint8_t> bytes = test_tune(a[0]);
    if (bytes.empty()) return fail("no test tune \"%s\"", a[0].c_str());
    FILE* file = _wfopen(widen(a[1]).c_str(), L"wb");
    if (!file) return fail("cannot write %s", a[1].c_str());
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return 0;
}

// record PATH: every recorded event as time_ms, device, delta ticks and
// description (record.h), separated by tabs.
int record(const Args& a) {
    std::vector<RecordedEvent> events;
    if (!read_record(a[0], events)) return fail("cannot read the recording %s", a[0].c_str());
    for (const RecordedEvent& event : events) {
        std::printf("%.1f\t%s\t%lu\t%s\n", static_cast<double>(event.time_us) / 1000.0, event.device.c_str(),
                    static_cast<unsigned long>(event.delta_ticks), describe_event(event.bytes).c_str());
    }
    return 0;
}

// summary PATH: the recording as the scenarios check it. Events without
// messages are left out; a run of play frames of one song with counts one
// apart (7 bits, so 127 is followed by 0) becomes
// "frames S FIRST..LAST xN every T ms" (T the mean time between
// them, N how many); other lines repeated back to back become "LINE xN".
int summary(const Args& a) {
    std::vector<RecordedEvent> events;
    if (!read_record(a[0], events)) return fail("cannot read the recording %s", a[0].c_str());
    struct Line {
        std::string text;
        int song = -1, first = 0, last = 0, repeats = 1;
        int64_t first_us = 0, last_us = 0;
    };
    std::vector<Line> out;
    for (const RecordedEvent& event : events) {
        std::string text = describe_event(event.bytes);
        if (text == "empty") continue;
        int song, count;
        char tail;
        bool frame = std::sscanf(text.c_str(), "frame=%d.%d%c", &song, &count, &tail) == 2;
        Line* previous = out.empty() ? nullptr : &out.back();
        if (frame && previous && previous->song == song && count == ((previous->last + 1) & 0x7F) && song >= 0) {
            previous->last = count;
            previous->last_us = event.time_us;
            ++previous->repeats;
        } else if (previous && previous->song < 0 && previous->text == text) {
            ++previous->repeats;
        } else {
            Line line;
            line.text = text;
            if (frame && count != 0) {  // a frame of count 0 is a voice switched off, not a count
                line.song = song;
                line.first = line.last = count;
            }
            line.first_us = line.last_us = event.time_us;
            out.push_back(line);
        }
    }
    for (const Line& line : out) {
        if (line.song >= 0) {
            double every = line.repeats > 1 ? (line.last_us - line.first_us) / 1000.0 / (line.repeats - 1) : 0;
            std::printf("frames %d %d..%d x%d every %.1f ms\n", line.song, line.first, line.last, line.repeats,
                        every);
        } else if (line.repeats > 1) {
            std::printf("%s x%d\n", line.text.c_str(), line.repeats);
        } else {
            std::printf("%s\n", line.text.c_str());
        }
    }
    return 0;
}

struct Command {
    size_t arguments;  // at least this many
    int (*run)(const Args&);
    const char* usage;
};

const std::map<std::string, Command> commands = {
    {"launch", {2, launch, "EXE ARGUMENT"}},
    {"run", {3, run, "EXE ARGUMENT TIMEOUT_MS"}},
    {"wait-exit", {2, wait_exit, "PID TIMEOUT_MS"}},
    {"wait-window", {2, wait_window, "TITLE TIMEOUT_MS"}},
    {"wait-gone", {2, wait_gone, "TITLE TIMEOUT_MS"}},
    {"no-window", {2, no_window, "TITLE MS"}},
    {"click", {2, click, "TITLE ID"}},
    {"post-click", {2, post_click, "TITLE ID"}},
    {"clicks", {2, clicks, "TITLE ID..."}},
    {"end-session", {1, end_session, "TITLE"}},
    {"command", {2, command, "TITLE ID"}},
    {"select", {3, select, "TITLE ID INDEX"}},
    {"select-answer", {3, select_answer, "TITLE ID INDEX"}},
    {"list-select", {3, list_select, "TITLE ID INDEX"}},
    {"scroll", {3, scroll, "TITLE ID CODE [THUMB]"}},
    {"key", {2, key, "TITLE VK..."}},
    {"text", {1, text, "TITLE [ID]"}},
    {"lines", {2, lines, "TITLE ID"}},
    {"selected", {2, list_selected, "TITLE ID"}},
    {"items", {2, items, "TITLE ID"}},
    {"checked", {2, checked, "TITLE ID"}},
    {"scroll-pos", {2, scroll_pos, "TITLE ID"}},
    {"window", {1, window_state, "TITLE"}},
    {"alive", {1, alive, "TITLE"}},
    {"close", {1, close, "TITLE"}},
    {"box", {2, box, "TITLE TIMEOUT_MS"}},
    {"open-name", {1, open_name, "TIMEOUT_MS"}},
    {"open-choose", {1, open_choose, "PATH"}},
    {"open-cancel", {0, open_cancel, ""}},
    {"reg", {1, reg, "NAME"}},
    {"make-tune", {2, make_tune, "KIND PATH"}},
    {"record", {1, record, "PATH"}},
    {"summary", {1, summary, "PATH"}},
};

int usage() {
    std::fprintf(stderr, "usage: zarvel-driver COMMAND [ARGUMENTS]\n");
    for (const auto& [name, c] : commands) std::fprintf(stderr, "  %s %s\n", name.c_str(), c.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Plain \n line ends, so the test script reads the lines as they are.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) return usage();
    auto found = commands.find(argv[1]);
    if (found == commands.end()) return usage();
    Args args(argv + 2, argv + argc);
    if (args.size() < found->second.arguments) return usage();
    return found->second.run(args);
}
