#pragma once

// The port's modal dialogs on Qt: message boxes and the file chooser.

#include "platform/Platform.h"

#include <QPointer>

#include <string>
#include <vector>

class QDialog;
class QWidget;

namespace telvo {

// Dialogs shown for another thread, which BeginClose closes; the running dialog is listed here
// while it is up when the list is given.
using DialogList = std::vector<QPointer<QDialog>>;

// dialog.exec(), with the dialog in shownFor (when given) while it is up.
int ExecListed(QDialog& dialog, DialogList* shownFor);

// A QMessageBox: title "TelvoView", the texts as plain text, the first button the default. A box
// closed without a button answers as nobody could (DismissAnswer).
MessageAnswer RunMessageBox(QWidget* parent, const std::string& text, MessageButtons buttons,
                            MessageIcon icon, const std::string& detail, DialogList* shownFor);

// Qt's non-native chooser for the request, refusing before it closes a folder that does not
// exist and, when asked to, a read-only file to save over.
FileChoice RunFileChooser(QWidget* parent, const FileChooser& request, DialogList* shownFor);

// The name filter QFileDialog understands for one entry: the description as given, then its
// patterns in parentheses, blank-separated ("*.a;*.b" becomes "*.a *.b"; "*.*" becomes "*",
// which on Linux also matches names without a dot). The chooser hides the patterns, so the
// list shows the description alone.
std::string QtNameFilter(const FileFilter& filter);

} // namespace telvo
