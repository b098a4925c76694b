#pragma once
// What a clipboard or a drag offers the intake, read from its MIME data: a file a file
// manager copied, encoded picture data, a bare bitmap, or only a web address.
#include <QByteArray>
#include <QImage>
#include <QString>

class QMimeData;

namespace zp {

// The first file of those offered, when it is a local one; empty otherwise. Read from
// text/uri-list (Qt also gives a Windows CF_HDROP in this form, and KDE puts it beside
// application/x-kde-cutselection), GNOME's x-special/gnome-copied-files ("copy" or "cut",
// then one address a line), KDE's application/x-kde4-urilist, or the
// x-special/nautilus-clipboard text of newer GNOME file managers.
QString offeredFile(const QMimeData* mime);

// Encoded picture data the program's decoders read: the first of the forms offered, in the
// order the source lists them, that is PNG, JPEG, GIF, BMP, WebP, HEIF/HEIC or AVIF.
struct OfferedData {
    QByteArray bytes;
    QString format; // the MIME type it came as
};
bool offersPictureData(const QMimeData* mime);
OfferedData offeredPictureData(const QMimeData* mime);

// A bitmap offered in no encoded form the decoders read (a null picture when there is none).
QImage offeredBitmap(const QMimeData* mime);

// The first http, https or ftp address offered, when it stands for a picture dragged from a
// page without its data: the address names a picture file, or the page's HTML beside it is an
// image. Empty otherwise, so that a link still goes into an edit box as text.
QString offeredWebPicture(const QMimeData* mime);

} // namespace zp
