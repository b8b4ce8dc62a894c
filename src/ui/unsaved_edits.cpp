// Whether the document shown has edits that are not saved yet.
#include "ui/unsaved_edits.h"

#include "ui/main_window.h"

namespace sealkeep {

void note_document_edited(MainWindow& main)
{
    main.unsaved_edits = true;
}

void note_document_saved(MainWindow& main)
{
    main.unsaved_edits = false;
}

} // namespace sealkeep
