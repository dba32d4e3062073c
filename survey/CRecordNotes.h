#pragma once
// The notes on the Entire Read records, edited from the Survey page: a record's number, its
// location, height, source/distance and a free note. Each record's notes are applied to the
// Entire Read page's model as the person moves on (or closes), which writes them to the
// sidecar of its file at once, or with the file when the table has not been saved yet.

class QWidget;

namespace tessera::page {
class Prompter;
}
namespace tessera::entire_read {
class EntireRead;
}

namespace tessera::survey {

void EditRecordNotes(QWidget* parent, entire_read::EntireRead& model, page::Prompter& prompter);

}  // namespace tessera::survey
