#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtText.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>

namespace telvo {

namespace {

// Qt's own chooser, refusing before it closes what the request rules out: a folder that does
// not exist, and on save a file that exists read-only (the library would refuse to replace it).
class RequestFileDialog : public QFileDialog {
public:
    RequestFileDialog(QWidget* parent, const FileChooser& request)
        : QFileDialog(parent), request_(request) {}

    void accept() override {
        const QFileInfo info(selectedFiles().value(0));
        if (!info.filePath().isEmpty() && !info.isDir()) {
            if (request_.pathMustExist && !info.absoluteDir().exists()) {
                Refuse(QStringLiteral("%1\nThe folder does not exist.").arg(info.path()));
                return;
            }
            const bool writable =
                info.isWritable() && (info.permissions() & (QFile::WriteOwner | QFile::WriteGroup |
                                                            QFile::WriteOther)) != 0;
            if (request_.mode == FileChooser::Mode::Save && request_.refuseReadOnly &&
                info.exists() && !writable) {
                Refuse(QStringLiteral("%1\nThis file is read-only.\nChoose another name.")
                           .arg(info.fileName()));
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    void Refuse(const QString& text) { QMessageBox::warning(this, windowTitle(), text); }

    const FileChooser& request_;
};

} // namespace

FileChoice RunFileChooser(QWidget* parent, const FileChooser& request, DialogList* shownFor) {
    FileChoice choice;
    choice.selectedFilter = request.selectedFilter;

    RequestFileDialog dialog(parent, request);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // The list shows each description as given ("All files (*.*)"); the patterns Qt filters
    // by follow it unseen.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    const bool save = request.mode == FileChooser::Mode::Save;
    dialog.setWindowTitle(save ? QStringLiteral("Save As") : QStringLiteral("Open"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && request.fileMustExist ? QFileDialog::ExistingFile
                                                      : QFileDialog::AnyFile);
    if (save && !request.confirmOverwrite) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    }

    QStringList filters;
    QStringList shown; // what the list shows of each: the text before the patterns
    for (const FileFilter& f : request.filters) {
        filters << ToQt(QtNameFilter(f));
        shown << filters.back().left(filters.back().lastIndexOf(QStringLiteral(" ("))).simplified();
    }
    // Qt names an entry by its full filter or by its shown text, depending on its version.
    auto entryOf = [&filters, &shown](const QString& text) {
        const qsizetype full = filters.indexOf(text);
        return static_cast<int>(full >= 0 ? full : shown.indexOf(text.simplified())) + 1;
    };
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const qsizetype selected =
            std::clamp<qsizetype>(request.selectedFilter, 1, filters.size()) - 1;
        dialog.selectNameFilter(filters[selected]);
    }
    dialog.setDefaultSuffix(WithoutDot(request.defaultExtension));

    const QString name = PathToQt(request.initialName);
    if (name.contains(QLatin1Char('/'))) {
        const QFileInfo info(name);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    } else {
        if (!request.initialDirectory.empty()) {
            dialog.setDirectory(PathToQt(request.initialDirectory));
        }
        if (!name.isEmpty()) {
            dialog.selectFile(name);
        }
    }

    if (request.onTypeChange) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, &entryOf, &request](const QString& filter) {
                             const int entry = entryOf(filter);
                             if (entry < 1) {
                                 return;
                             }
                             auto* edit =
                                 dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                             const QString typed =
                                 edit ? edit->text() : dialog.selectedFiles().value(0);
                             QString full;
                             if (!typed.isEmpty()) {
                                 full = QFileInfo(typed).isAbsolute()
                                            ? typed
                                            : dialog.directory().absoluteFilePath(typed);
                             }
                             const std::string before = PathFromQt(full);
                             std::string newName = before;
                             std::string extension = request.defaultExtension;
                             request.onTypeChange(entry, newName, extension);
                             if (newName != before) {
                                 if (edit) {
                                     edit->setText(PathToQt(newName));
                                 } else {
                                     dialog.selectFile(PathToQt(newName));
                                 }
                             }
                             dialog.setDefaultSuffix(WithoutDot(extension));
                         });
    }

    const int result = ExecListed(dialog, shownFor);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return choice;
    }
    choice.accepted = true;
    choice.path = PathFromQt(dialog.selectedFiles().value(0));
    const int entry = entryOf(dialog.selectedNameFilter());
    if (entry >= 1) {
        choice.selectedFilter = entry;
    }
    return choice;
}

std::string QtNameFilter(const FileFilter& filter) {
    QStringList patterns;
    for (QString p : ToQt(filter.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p == QLatin1String("*.*")) {
            p = QStringLiteral("*");
        }
        if (!p.isEmpty()) {
            patterns << p;
        }
    }
    if (patterns.isEmpty()) {
        patterns << QStringLiteral("*");
    }
    QString description = ToQt(filter.description).trimmed();
    if (description.isEmpty()) {
        description = patterns.join(QLatin1Char(' '));
    }
    const QByteArray utf8 =
        (description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'))
            .toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

} // namespace telvo
