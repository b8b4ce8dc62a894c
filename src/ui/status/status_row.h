// The status row under the tree: one line of status text, and beside it the buttons that stand for what
// runs or can be undone now: Clear now (a copied password counts down), Reload (the file changed on
// disk) and Stop (a load runs). Others say what to show through its functions; a press comes back
// through the callback given when the row was built.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace sealkeep {

class StatusRow {
public:
    struct Callbacks {
        std::function<void()> stop;
        std::function<void()> clear_now;
        std::function<void()> reload;
    };

    StatusRow() = default;
    StatusRow(const StatusRow&) = delete;
    StatusRow& operator=(const StatusRow&) = delete;
    // Disconnects from widgets that outlive the row.
    ~StatusRow();

    // Builds the row's widgets (the buttons hidden); the row lets go of them when they are destroyed.
    GtkWidget* build(Callbacks callbacks);

    // One line, replacing the last one said. An empty text empties the line.
    void say(const std::string& text);

    // A count-down (of a copied password) over the line: it shows with Clear now from begin_countdown on,
    // each show_countdown replacing its text, until something is said; then what was said stays readable
    // and the count goes on unseen. end_countdown takes it and the button away.
    void begin_countdown();
    void show_countdown(const std::string& text);
    void end_countdown();

    void show_stop(bool shown);
    // Keys typed while a load runs must not land in a text field: the stop button takes the focus.
    void focus_stop();
    void show_reload(bool shown);

    // The widgets, for tests and for the window's layout checks; null once destroyed.
    GtkStatusbar* bar() const { return bar_; }
    GtkWidget* stop_button() const { return stop_; }
    GtkWidget* clear_button() const { return clear_; }
    GtkWidget* reload_button() const { return reload_; }

private:
    static void on_stop(GtkButton*, StatusRow* row);
    static void on_clear(GtkButton*, StatusRow* row);
    static void on_reload(GtkButton*, StatusRow* row);
    void disconnect(GtkWidget* widget);

    Callbacks callbacks_;
    GtkStatusbar* bar_ = nullptr;
    GtkWidget* stop_ = nullptr;
    GtkWidget* clear_ = nullptr;
    GtkWidget* reload_ = nullptr;
    unsigned said_ = 0;              // messages said so far (not counting the emptying of the line)
    unsigned said_at_countdown_ = 0; // ... when the count-down began
    bool counting_down_ = false;
};

} // namespace sealkeep
