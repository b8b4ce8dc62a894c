// Whether the document shown has edits that are not saved yet.
#pragma once

namespace sealkeep {

struct MainWindow;

void note_document_edited(MainWindow& main);
void note_document_saved(MainWindow& main);

} // namespace sealkeep
