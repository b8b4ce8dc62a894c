// Ownership of GLib/GTK objects and buffers at the call site: one guard per release function.
#pragma once

#include <glib-object.h>
#include <gtk/gtk.h>

#include <memory>

namespace sealkeep {

template <typename T, auto Release>
struct Releaser {
    void operator()(T* p) const noexcept
    {
        if (p)
            Release(p);
    }
};

template <typename T, auto Release>
using FreeablePtr = std::unique_ptr<T, Releaser<T, Release>>;

// A GObject reference we own.
template <typename T>
using RefPtr = FreeablePtr<T, &g_object_unref>;

template <typename T>
RefPtr<T> take_ref(T* obj)
{
    return RefPtr<T>{obj};
}

template <typename T>
RefPtr<T> make_ref(T* obj)
{
    if (obj)
        g_object_ref(obj);
    return RefPtr<T>{obj};
}

using GCharPtr = FreeablePtr<gchar, &g_free>;
using GErrorPtr = FreeablePtr<GError, &g_error_free>;
using GStrvPtr = FreeablePtr<gchar*, &g_strfreev>;
using TreePathPtr = FreeablePtr<GtkTreePath, &gtk_tree_path_free>;
using GListPtr = FreeablePtr<GList, &g_list_free>;

inline void free_path_list(GList* list)
{
    g_list_foreach(list, reinterpret_cast<GFunc>(reinterpret_cast<void (*)()>(&gtk_tree_path_free)), nullptr);
    g_list_free(list);
}

// A list of tree paths as gtk_tree_selection_get_selected_rows returns it: paths and list owned.
using PathListPtr = FreeablePtr<GList, &free_path_list>;

// Hands a GError** to a C call and owns what it fills in.
class GErrorOut {
public:
    explicit GErrorOut(GErrorPtr& target) : target_(target) {}
    ~GErrorOut() { target_.reset(error_); }
    operator GError**() { return &error_; }

private:
    GErrorPtr& target_;
    GError* error_ = nullptr;
};

} // namespace sealkeep
