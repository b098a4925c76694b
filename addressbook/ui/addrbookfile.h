#pragma once
// Reading an address-book file into the recipient list and writing the list out as vCard,
// with the file dialogs and the summary the user sees.
#include <QString>
#include <QStringList>

class QWidget;

namespace zp {

struct AddrImportReport {
    QStringList entries; // to add, in order, unchecked
    QString message;     // the summary or the reason the file was refused
    bool failed = false; // the file could not be read at all; nothing is added
};

// Reads the file at path against the list's entries as they are; adds nothing itself.
AddrImportReport readAddressBookFile(const QString& path, const QStringList& existing);

// Writes the entries to path as vCard 3.0; the text of the fault, or empty on success.
QString writeAddressBookFile(const QString& path, const QStringList& entries);

// The file dialogs' type filters.
QString addressBookOpenFilter();
QString addressBookSaveFilter();

} // namespace zp
