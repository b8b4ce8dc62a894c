// A stand-in for logind on a private system bus: owns org.freedesktop.login1, answers GetSession and
// GetSessionByPID with one session path, and sends the real signals when told on standard input
// ("lock": Session.Lock on that path; "sleep": Manager.PrepareForSleep(true); "wake": its false).
// Prints "ready" once the name is owned. Inhibit hands out a descriptor as logind does and prints
// "inhibit WHAT MODE"; when the last copy of a sleep delay's descriptor is closed it prints "released"
// (after a "sleep": the sleep would go on now).
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* SESSION_PATH = "/org/freedesktop/login1/session/_31";

constexpr const char* INTROSPECTION = R"(<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="GetSession"><arg type="s" direction="in"/><arg type="o" direction="out"/></method>
    <method name="GetSessionByPID"><arg type="u" direction="in"/><arg type="o" direction="out"/></method>
    <method name="Inhibit"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="h" direction="out"/></method>
    <signal name="PrepareForSleep"><arg type="b"/></signal>
  </interface>
</node>)";

gboolean on_released(gint fd, GIOCondition, gpointer)
{
    std::printf("released\n");
    std::fflush(stdout);
    close(fd);
    return G_SOURCE_REMOVE;
}

void on_method(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
               GVariant* parameters, GDBusMethodInvocation* invocation, gpointer)
{
    if (std::strcmp(method, "Inhibit") != 0) {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", SESSION_PATH));
        return;
    }
    const gchar* what = nullptr;
    const gchar* mode = nullptr;
    g_variant_get(parameters, "(&s&s&s&s)", &what, nullptr, nullptr, &mode);
    std::printf("inhibit %s %s\n", what, mode);
    std::fflush(stdout);
    // The caller gets the writing end; the reading end sees the hang-up once every copy of it is closed.
    int ends[2];
    if (!g_unix_open_pipe(ends, FD_CLOEXEC, nullptr)) {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed", "pipe");
        return;
    }
    GUnixFDList* list = g_unix_fd_list_new_from_array(&ends[1], 1); // takes the writing end
    g_unix_fd_add(ends[0], static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR), on_released, nullptr);
    g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, g_variant_new("(h)", 0), list);
    g_object_unref(list);
}

gboolean on_input(GIOChannel* channel, GIOCondition, gpointer data)
{
    auto* connection = static_cast<GDBusConnection*>(data);
    gchar* line = nullptr;
    if (g_io_channel_read_line(channel, &line, nullptr, nullptr, nullptr) != G_IO_STATUS_NORMAL || !line)
        std::exit(0);
    g_strchomp(line);
    if (std::strcmp(line, "lock") == 0)
        g_dbus_connection_emit_signal(connection, nullptr, SESSION_PATH, "org.freedesktop.login1.Session", "Lock",
                                      nullptr, nullptr);
    else if (std::strcmp(line, "sleep") == 0)
        g_dbus_connection_emit_signal(connection, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                      "PrepareForSleep", g_variant_new("(b)", TRUE), nullptr);
    else if (std::strcmp(line, "wake") == 0)
        g_dbus_connection_emit_signal(connection, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                      "PrepareForSleep", g_variant_new("(b)", FALSE), nullptr);
    g_dbus_connection_flush_sync(connection, nullptr, nullptr);
    std::printf("sent %s\n", line);
    std::fflush(stdout);
    g_free(line);
    return G_SOURCE_CONTINUE;
}

} // namespace

int main()
{
    GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    if (!connection)
        return 1;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(INTROSPECTION, nullptr);
    static const GDBusInterfaceVTable vtable{on_method, nullptr, nullptr, {}};
    g_dbus_connection_register_object(connection, "/org/freedesktop/login1", node->interfaces[0], &vtable, nullptr,
                                      nullptr, nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.login1", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, nullptr);
    if (!reply)
        return 1;
    g_variant_unref(reply);
    std::printf("ready\n");
    std::fflush(stdout);
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), on_input, connection);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    return 0;
}
