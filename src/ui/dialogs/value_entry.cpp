// The entry buffer without a length cap: a GtkEntryBuffer subclass that keeps its text in a SecretBuffer
// (its own mapping: growing moves pages instead of copying bytes, taking text out overwrites what moved,
// and dropping it overwrites the rest) and counts characters in a full-width integer.
#include "ui/dialogs/value_entry.h"

#include "core/secret_buffer.h"
#include "ui/glib_ptr.h"

#include <new>
#include <string_view>

namespace sealkeep {

namespace {

struct ValueBuffer {
    GtkEntryBuffer parent;
    // The text and a NUL after it (get_text hands out a C string), or nothing at all while empty.
    SecretBuffer* text;
    guint chars;
};

struct ValueBufferClass {
    GtkEntryBufferClass parent_class;
};

GType value_buffer_get_type();

G_DEFINE_TYPE(ValueBuffer, value_buffer, GTK_TYPE_ENTRY_BUFFER)

ValueBuffer* value_buffer(GtkEntryBuffer* buffer)
{
    return reinterpret_cast<ValueBuffer*>(buffer);
}

std::size_t text_bytes(const ValueBuffer& buffer)
{
    return buffer.text->empty() ? 0 : buffer.text->size() - 1;
}

// The byte offset of the character `count` characters after byte `from`.
std::size_t byte_of(const ValueBuffer& buffer, guint count, std::size_t from = 0)
{
    const char* text = buffer.text->data();
    return static_cast<std::size_t>(g_utf8_offset_to_pointer(text + from, count) - text);
}

const gchar* value_buffer_get_text(GtkEntryBuffer* buffer, gsize* n_bytes)
{
    const ValueBuffer& self = *value_buffer(buffer);
    if (n_bytes)
        *n_bytes = text_bytes(self);
    return self.text->data();
}

guint value_buffer_get_length(GtkEntryBuffer* buffer)
{
    return value_buffer(buffer)->chars;
}

guint value_buffer_insert_text(GtkEntryBuffer* buffer, guint position, const gchar* chars, guint n_chars)
{
    ValueBuffer& self = *value_buffer(buffer);
    if (n_chars == 0)
        return 0;
    const auto n_bytes = static_cast<std::size_t>(g_utf8_offset_to_pointer(chars, n_chars) - chars);
    if (position > self.chars)
        position = self.chars;
    // Character counts are guint, positions in the entry gint: text beyond that cannot be addressed.
    if (n_chars > static_cast<guint>(G_MAXINT) - self.chars)
        return 0;
    try {
        if (self.text->empty())
            self.text->push_back('\0');
        self.text->insert(byte_of(self, position), std::string_view(chars, n_bytes));
    } catch (const std::bad_alloc&) {
        // Nothing went in (the entry rings the bell): a value is taken whole or not at all.
        return 0;
    }
    self.chars += n_chars;
    gtk_entry_buffer_emit_inserted_text(buffer, position, chars, n_chars);
    return n_chars;
}

guint value_buffer_delete_text(GtkEntryBuffer* buffer, guint position, guint n_chars)
{
    ValueBuffer& self = *value_buffer(buffer);
    if (position > self.chars)
        position = self.chars;
    if (n_chars > self.chars - position)
        n_chars = self.chars - position;
    if (n_chars == 0)
        return 0;
    const std::size_t start = byte_of(self, position);
    const std::size_t end = byte_of(self, n_chars, start);
    self.text->erase(start, end - start);
    self.chars -= n_chars;
    // An emptied entry gives its mapping back (overwritten first).
    if (self.chars == 0)
        self.text->clear();
    gtk_entry_buffer_emit_deleted_text(buffer, position, n_chars);
    return n_chars;
}

void value_buffer_finalize(GObject* object)
{
    delete value_buffer(GTK_ENTRY_BUFFER(object))->text;
    G_OBJECT_CLASS(value_buffer_parent_class)->finalize(object);
}

void value_buffer_class_init(ValueBufferClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = value_buffer_finalize;
    GtkEntryBufferClass* buffer_class = GTK_ENTRY_BUFFER_CLASS(klass);
    buffer_class->get_text = value_buffer_get_text;
    buffer_class->get_length = value_buffer_get_length;
    buffer_class->insert_text = value_buffer_insert_text;
    buffer_class->delete_text = value_buffer_delete_text;
}

void value_buffer_init(ValueBuffer* buffer)
{
    buffer->text = new SecretBuffer;
    buffer->chars = 0;
}

} // namespace

GtkWidget* value_entry_new()
{
    RefPtr<GtkEntryBuffer> buffer = take_ref(GTK_ENTRY_BUFFER(g_object_new(value_buffer_get_type(), nullptr)));
    return gtk_entry_new_with_buffer(buffer.get());
}

void use_value_buffer(GtkEntry* entry)
{
    RefPtr<GtkEntryBuffer> buffer = take_ref(GTK_ENTRY_BUFFER(g_object_new(value_buffer_get_type(), nullptr)));
    gtk_entry_buffer_set_text(buffer.get(), gtk_entry_get_text(entry), -1);
    gtk_entry_set_buffer(entry, buffer.get());
}

} // namespace sealkeep
