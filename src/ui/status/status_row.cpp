// The status row's widgets and the rule between the status line and a count-down over it.
#include "ui/status/status_row.h"

#include "ui/i18n.h"

#include <algorithm>

namespace sealkeep {

namespace {

constexpr const char* MESSAGE_CONTEXT = "sealkeep";
constexpr const char* COUNTDOWN_CONTEXT = "clipboard-countdown";

GtkWidget* flat_hidden(GtkWidget* button)
{
    gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
    gtk_widget_set_no_show_all(button, TRUE);
    return button;
}

} // namespace

StatusRow::~StatusRow()
{
    for (GtkWidget* widget : {GTK_WIDGET(bar_), stop_, clear_, reload_})
        disconnect(widget);
}

void StatusRow::disconnect(GtkWidget* widget)
{
    if (widget)
        g_signal_handlers_disconnect_by_data(widget, this);
}

GtkWidget* StatusRow::build(Callbacks callbacks)
{
    callbacks_ = std::move(callbacks);
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    bar_ = GTK_STATUSBAR(gtk_statusbar_new());
    gtk_box_pack_start(GTK_BOX(row), GTK_WIDGET(bar_), TRUE, TRUE, 0);

    stop_ = flat_hidden(gtk_button_new_from_stock(GTK_STOCK_STOP));
    g_signal_connect(stop_, "clicked", G_CALLBACK(on_stop), this);
    reload_ = flat_hidden(gtk_button_new_with_mnemonic(_("_Reload")));
    gtk_button_set_image(GTK_BUTTON(reload_), gtk_image_new_from_stock(GTK_STOCK_REFRESH, GTK_ICON_SIZE_MENU));
    g_signal_connect(reload_, "clicked", G_CALLBACK(on_reload), this);
    clear_ = flat_hidden(gtk_button_new_with_label(_("Clear now")));
    gtk_widget_set_tooltip_text(clear_, _("Take the copied password off the clipboard now."));
    g_signal_connect(clear_, "clicked", G_CALLBACK(on_clear), this);
    // From the right: Stop, Reload, then Clear now beside the count-down it ends.
    gtk_box_pack_end(GTK_BOX(row), stop_, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(row), reload_, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(row), clear_, FALSE, FALSE, 0);

    // Each pointer is nulled by its widget's end: nothing reaches a widget gone.
    g_signal_connect(bar_, "destroy", G_CALLBACK(gtk_widget_destroyed), &bar_);
    for (GtkWidget** widget : {&stop_, &clear_, &reload_})
        g_signal_connect(*widget, "destroy", G_CALLBACK(gtk_widget_destroyed), widget);

    // The row is as high as its buttons from the start, so that showing one never moves the rest of the
    // window (a row that jumps under the pointer moves the search field away from a click).
    GtkRequisition stop_size;
    GtkRequisition clear_size;
    gtk_widget_size_request(stop_, &stop_size);
    gtk_widget_size_request(clear_, &clear_size);
    gtk_widget_set_size_request(row, -1, std::max(stop_size.height, clear_size.height));
    return row;
}

void StatusRow::say(const std::string& text)
{
    if (!bar_)
        return;
    // Emptying the line says nothing a count-down could cover.
    if (!text.empty())
        ++said_;
    const guint context = gtk_statusbar_get_context_id(bar_, MESSAGE_CONTEXT);
    gtk_statusbar_pop(bar_, context);
    gtk_statusbar_push(bar_, context, text.c_str());
    // What was said stays readable: the count-down's line goes under it.
    if (counting_down_ && said_ != said_at_countdown_)
        gtk_statusbar_pop(bar_, gtk_statusbar_get_context_id(bar_, COUNTDOWN_CONTEXT));
}

void StatusRow::begin_countdown()
{
    // The copy is the user's latest act: its count shows, over whatever was said before.
    said_at_countdown_ = said_;
    counting_down_ = true;
    if (clear_)
        gtk_widget_show(clear_);
}

void StatusRow::show_countdown(const std::string& text)
{
    if (!bar_ || !counting_down_ || said_ != said_at_countdown_)
        return;
    const guint context = gtk_statusbar_get_context_id(bar_, COUNTDOWN_CONTEXT);
    gtk_statusbar_pop(bar_, context);
    gtk_statusbar_push(bar_, context, text.c_str());
}

void StatusRow::end_countdown()
{
    counting_down_ = false;
    if (bar_)
        gtk_statusbar_pop(bar_, gtk_statusbar_get_context_id(bar_, COUNTDOWN_CONTEXT));
    if (clear_)
        gtk_widget_hide(clear_);
}

void StatusRow::show_stop(bool shown)
{
    if (stop_)
        gtk_widget_set_visible(stop_, shown);
}

void StatusRow::focus_stop()
{
    if (stop_)
        gtk_widget_grab_focus(stop_);
}

void StatusRow::show_reload(bool shown)
{
    if (reload_)
        gtk_widget_set_visible(reload_, shown);
}

void StatusRow::on_stop(GtkButton*, StatusRow* row)
{
    if (row->callbacks_.stop)
        row->callbacks_.stop();
}

void StatusRow::on_clear(GtkButton*, StatusRow* row)
{
    if (row->callbacks_.clear_now)
        row->callbacks_.clear_now();
}

void StatusRow::on_reload(GtkButton*, StatusRow* row)
{
    if (row->callbacks_.reload)
        row->callbacks_.reload();
}

} // namespace sealkeep
