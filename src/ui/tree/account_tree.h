// The account tree's state: its views, their scrollers, the idle sources that let rows in and out, the
// model shown and the customer icon. The views are the tree's own affair (see entry_store.h for what
// others may ask of it).
#pragma once

#include "ui/glib_ptr.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace sealkeep {

// A row named by keyed digests of the texts of its ancestors and its own, from the top level down.
using TextPath = std::vector<std::string>;

// The rows expanded and selected before the rows went, put back on the next tree that has them.
struct TreeShape {
    TreeShape() = default;
    TreeShape(const TreeShape&) = delete;
    TreeShape& operator=(const TreeShape&) = delete;
    // Overwrites the digests.
    ~TreeShape();

    std::vector<TextPath> expanded;
    std::vector<TextPath> selected;
};

struct AccountTree {
    AccountTree() = default;
    AccountTree(const AccountTree&) = delete;
    AccountTree& operator=(const AccountTree&) = delete;

    GtkTreeView* view = nullptr;        // the view shown: the whole tree's, or the filter's while one is on
    GtkTreeView* whole_view = nullptr;
    GtkTreeView* filter_view = nullptr; // the filter's, shown while one is on
    GtkWidget* whole_scroller = nullptr;
    GtkWidget* filter_scroller = nullptr;
    // A second whole tree's view, hidden, so that emptying the tree (Refresh, a lock) never waits for
    // the view to let go of its rows: the two swap places, and the one before lets them go in slices
    // (whole_dropping, the idle source doing it; 0: none), its document's texts gone at once.
    GtkTreeView* spare_whole_view = nullptr;
    GtkWidget* spare_whole_scroller = nullptr;
    guint whole_dropping = 0;
    // A second filter's view, hidden, so that a new filter never waits for the rows of the one before
    // to go: the two swap places at each new filter, and the one before lets go of its rows in slices.
    GtkTreeView* spare_filter_view = nullptr;
    GtkWidget* spare_filter_scroller = nullptr;
    // The idle source letting the shown filter's rows in (0: none), and the one letting go of a hidden
    // filter view's rows, a slice at a time from the last, and which view that is.
    guint filter_expanding = 0;
    guint filter_dropping = 0;
    GtkTreeView* dropping_view = nullptr;
    // The idle source letting in the rows the whole tree's model held back around a window (0: none).
    guint whole_letting_in = 0;
    GtkTreeModel* model = nullptr;   // the view's; it owns the document shown
    RefPtr<GdkPixbuf> customer_icon; // shared by every customer row
    bool database_loaded = false;    // the document shown came from a verified load with at least one account
    TreeShape shape;                 // remembered while the rows are gone (see tree_shape.h)
};

} // namespace sealkeep
