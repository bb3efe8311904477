#include "platform/realtime_kit.h"

#include <dlfcn.h>
#include <sys/resource.h>

#include <cstdint>

namespace stream_engine {
namespace {

// libdbus's ABI, declared here: the library is loaded only when it is
// wanted, so the player needs nothing of D-Bus to build or to run.
struct DBusError {
    const char* name;
    const char* message;
    unsigned int flags;  // dummy1 to dummy5, one bit each
    void* padding;
};
constexpr int dbus_bus_system = 1;
constexpr int dbus_type_invalid = 0;
constexpr int dbus_type_uint32 = 'u';
constexpr int dbus_type_uint64 = 't';
constexpr int reply_timeout_ms = 1000;
// RealtimeKit grants real-time scheduling only to a process that limits the
// CPU time its real-time threads may take without sleeping, so that a
// runaway cannot hang the machine; its own ceiling is 200 ms.
constexpr rlim_t real_time_budget_us = 200'000;

struct LibDbus {
    void (*error_init)(DBusError*);
    void (*error_free)(DBusError*);
    void* (*bus_get_private)(int, DBusError*);
    void* (*new_method_call)(const char*, const char*, const char*, const char*);
    unsigned int (*append_args)(void*, int, ...);
    void* (*send_with_reply_and_block)(void*, void*, int, DBusError*);
    void (*message_unref)(void*);
    void (*connection_close)(void*);
    void (*connection_unref)(void*);

    bool load() {
        void* library = dlopen("libdbus-1.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!library) return false;
        // Never closed: libdbus keeps process-wide state once used.
        return find(library, "dbus_error_init", error_init) && find(library, "dbus_error_free", error_free) &&
               find(library, "dbus_bus_get_private", bus_get_private) &&
               find(library, "dbus_message_new_method_call", new_method_call) &&
               find(library, "dbus_message_append_args", append_args) &&
               find(library, "dbus_connection_send_with_reply_and_block", send_with_reply_and_block) &&
               find(library, "dbus_message_unref", message_unref) &&
               find(library, "dbus_connection_close", connection_close) &&
               find(library, "dbus_connection_unref", connection_unref);
    }

    template <class Function>
    static bool find(void* library, const char* name, Function& function) {
        function = reinterpret_cast<Function>(dlsym(library, name));
        return function != nullptr;
    }
};

bool make_thread_realtime(LibDbus& dbus, uint64_t thread, uint32_t priority) {
    DBusError error;
    dbus.error_init(&error);
    bool granted = false;
    if (void* bus = dbus.bus_get_private(dbus_bus_system, &error)) {
        void* call = dbus.new_method_call("org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1",
                                          "org.freedesktop.RealtimeKit1", "MakeThreadRealtime");
        if (call && dbus.append_args(call, dbus_type_uint64, &thread, dbus_type_uint32, &priority, dbus_type_invalid)) {
            if (void* reply = dbus.send_with_reply_and_block(bus, call, reply_timeout_ms, &error)) {
                granted = true;
                dbus.message_unref(reply);
            }
        }
        if (call) dbus.message_unref(call);
        dbus.connection_close(bus);
        dbus.connection_unref(bus);
    }
    dbus.error_free(&error);
    return granted;
}

}  // namespace

bool ask_realtime_kit(long thread_id, int priority) {
    static LibDbus dbus;
    static const bool loaded = dbus.load();
    if (!loaded || thread_id <= 0 || priority < 1) return false;

    rlimit before{};
    if (getrlimit(RLIMIT_RTTIME, &before) != 0) return false;
    bool limited = before.rlim_max != RLIM_INFINITY && before.rlim_max <= real_time_budget_us;
    rlimit budget{real_time_budget_us, real_time_budget_us};
    if (!limited && setrlimit(RLIMIT_RTTIME, &budget) != 0) return false;
    bool granted = make_thread_realtime(dbus, static_cast<uint64_t>(thread_id), static_cast<uint32_t>(priority));
    if (!granted && !limited) setrlimit(RLIMIT_RTTIME, &before);
    return granted;
}

}  // namespace stream_engine
