// The status row on its own: the rule between what is said and a count-down over the line, and the
// buttons that stand for what runs.
#include "gui_support.h"

#include "ui/status/status_row.h"

#include <gtest/gtest.h>

namespace sealkeep {
namespace {

// The line the bar shows now.
std::string shown(const StatusRow& row)
{
    GtkWidget* area = gtk_statusbar_get_message_area(row.bar());
    for (GtkWidget* child : test::child_widgets(area))
        if (GTK_IS_LABEL(child))
            return gtk_label_get_text(GTK_LABEL(child));
    return {};
}

class StatusRowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_container_add(GTK_CONTAINER(window_), row_.build({
                                                      .stop = [this] { ++stops_; },
                                                      .clear_now = [this] { ++clears_; },
                                                      .reload = [this] { ++reloads_; },
                                                  }));
        gtk_widget_show_all(window_);
        test::drain_events();
    }
    void TearDown() override
    {
        if (window_)
            gtk_widget_destroy(window_);
    }

    GtkWidget* window_ = nullptr;
    StatusRow row_;
    int stops_ = 0, clears_ = 0, reloads_ = 0;
};

TEST_F(StatusRowTest, ACountDownShowsUntilSomethingIsSaidThenWhatWasSaidStays)
{
    using Step = std::function<void(StatusRow&)>;
    const struct {
        const char* name;
        std::vector<Step> steps;
        const char* expected;
        bool clear_shown;
    } cases[] = {
        {"a count-down covers what was said before it",
         {[](StatusRow& r) { r.say("Copied."); }, [](StatusRow& r) { r.begin_countdown(); },
          [](StatusRow& r) { r.show_countdown("9 s"); }},
         "9 s",
         true},
        {"each second replaces the last",
         {[](StatusRow& r) { r.begin_countdown(); }, [](StatusRow& r) { r.show_countdown("9 s"); },
          [](StatusRow& r) { r.show_countdown("8 s"); }},
         "8 s",
         true},
        {"a message said during the count stays readable at the next second",
         {[](StatusRow& r) { r.begin_countdown(); }, [](StatusRow& r) { r.show_countdown("9 s"); },
          [](StatusRow& r) { r.say("The command failed."); }, [](StatusRow& r) { r.show_countdown("8 s"); }},
         "The command failed.",
         true},
        {"emptying the line is no message: the count comes back",
         {[](StatusRow& r) { r.begin_countdown(); }, [](StatusRow& r) { r.show_countdown("9 s"); },
          [](StatusRow& r) { r.say(""); }, [](StatusRow& r) { r.show_countdown("8 s"); }},
         "8 s",
         true},
        {"a new count shows over an older message",
         {[](StatusRow& r) { r.begin_countdown(); }, [](StatusRow& r) { r.say("Saved."); },
          [](StatusRow& r) { r.begin_countdown(); }, [](StatusRow& r) { r.show_countdown("45 s"); }},
         "45 s",
         true},
        {"the end of the count leaves what was said",
         {[](StatusRow& r) { r.say("Saved."); }, [](StatusRow& r) { r.begin_countdown(); },
          [](StatusRow& r) { r.show_countdown("2 s"); }, [](StatusRow& r) { r.end_countdown(); }},
         "Saved.",
         false},
        {"no count without its beginning",
         {[](StatusRow& r) { r.say("Locked."); }, [](StatusRow& r) { r.show_countdown("3 s"); }},
         "Locked.",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        row_.end_countdown();
        row_.say("");
        for (const Step& step : c.steps)
            step(row_);
        EXPECT_EQ(shown(row_), c.expected);
        EXPECT_EQ(gtk_widget_get_visible(row_.clear_button()) != FALSE, c.clear_shown);
    }
}

TEST_F(StatusRowTest, ButtonsShowWhenToldAndAnswerThroughTheirCallbacks)
{
    for (GtkWidget* button : {row_.stop_button(), row_.reload_button(), row_.clear_button()})
        EXPECT_FALSE(gtk_widget_get_visible(button)) << "hidden until something stands for it";
    row_.show_stop(true);
    row_.show_reload(true);
    EXPECT_TRUE(gtk_widget_get_visible(row_.stop_button()));
    EXPECT_TRUE(gtk_widget_get_visible(row_.reload_button()));
    gtk_button_clicked(GTK_BUTTON(row_.stop_button()));
    gtk_button_clicked(GTK_BUTTON(row_.reload_button()));
    gtk_button_clicked(GTK_BUTTON(row_.clear_button()));
    EXPECT_EQ(stops_, 1);
    EXPECT_EQ(reloads_, 1);
    EXPECT_EQ(clears_, 1);

    // Once its widgets are gone the row lets go of them, and saying something reaches nothing.
    gtk_widget_destroy(window_);
    window_ = nullptr;
    EXPECT_EQ(row_.bar(), nullptr);
    EXPECT_EQ(row_.stop_button(), nullptr);
    row_.say("after the window");
    row_.show_stop(true);
    row_.begin_countdown();
    row_.show_countdown("1 s");
}

} // namespace
} // namespace sealkeep
