#include "survey/CRecordNotes.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "entire_read/EntireReadModel.h"
#include "page/Prompter.h"

namespace tessera::survey {

void EditRecordNotes(QWidget* parent, entire_read::EntireRead& model, page::Prompter& prompter) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Notes on the records"));
    auto* number = new QSpinBox(&dialog);
    number->setRange(1, static_cast<int>(model.RecordCount()));
    QLineEdit* fields[4];
    for (QLineEdit*& f : fields) f = new QLineEdit(&dialog);
    fields[1]->setPlaceholderText(QStringLiteral("e.g. 1.0 m"));
    fields[2]->setPlaceholderText(QStringLiteral("e.g. transformer, 2 m"));
    auto* where = new QLabel(&dialog);
    where->setWordWrap(true);
    where->setText(
        model.File().empty()
            ? QStringLiteral("The notes are saved with the table (\"CSV Save\" on the Entire Read page).")
            : QStringLiteral("Saved beside %1").arg(QString::fromStdString(entire_read::NotesPath(model.File()))));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Record NO"), number);
    form->addRow(QStringLiteral("Location"), fields[0]);
    form->addRow(QStringLiteral("Height"), fields[1]);
    form->addRow(QStringLiteral("Source / distance"), fields[2]);
    form->addRow(QStringLiteral("Note"), fields[3]);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(where);
    layout->addWidget(buttons);
    dialog.resize(460, dialog.sizeHint().height());

    int shown = 0;
    auto show = [&](int n) {
        shown = n;
        const auto& notes = model.Notes();
        const auto it = notes.find(n);
        const entire_read::RecordNote note = it == notes.end() ? entire_read::RecordNote{} : it->second;
        const std::string* texts[] = {&note.location, &note.height, &note.source, &note.note};
        for (int i = 0; i < 4; ++i) fields[i]->setText(QString::fromStdString(*texts[i]));
    };
    // What is typed for the record shown goes to the model when it changed.
    auto apply = [&] {
        entire_read::RecordNote note{fields[0]->text().toStdString(), fields[1]->text().toStdString(),
                                     fields[2]->text().toStdString(), fields[3]->text().toStdString()};
        const auto& notes = model.Notes();
        const auto it = notes.find(shown);
        if (note == (it == notes.end() ? entire_read::RecordNote{} : it->second)) return;
        std::string error;
        if (!model.SetNote(shown, note, &error)) prompter.Inform(error);
    };
    QObject::connect(number, &QSpinBox::valueChanged, &dialog, [&](int n) {
        apply();
        show(n);
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    show(1);
    dialog.exec();
    apply();
}

}  // namespace tessera::survey
