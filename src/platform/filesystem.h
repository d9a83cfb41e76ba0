#pragma once
// File operations that must behave alike on every platform: replacing a file whole so that a
// killed process leaves either the old or the new content, appending in one open-write-close, and
// the platform's folder separator.

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <memory>
#include <unordered_map>

// The path with "/" written as the native separator.
QString ToNativeSeparators(const QString& path);

// What a writer tells its caller: ok, or the reason it failed (shown to the user, never swallowed).
// A full disk and a folder that takes no file are told apart: they stop a crawl until it is mended,
// where other failures fail one file.
struct [[nodiscard]] IoStatus {
    bool ok = true;
    QString error;
    bool diskFull = false;
    bool folderUnwritable = false; // the folder takes no file at all any more; stops a crawl as a full disk
    bool declined = false; // nothing was written: replacing a file of the user's was declined

    static IoStatus success() { return {}; }
    static IoStatus failure(const QString& path, const QString& reason)
    {
        return { false, ToNativeSeparators(path) + QStringLiteral(": ") + reason };
    }
    static IoStatus unwritableFolder(const QString& folder)
    {
        IoStatus status = failure(folder, QStringLiteral("書き込めません。"));
        status.folderUnwritable = true;
        return status;
    }
    explicit operator bool() const { return ok; }
};

// The failure of file's last operation on path; a full disk is recognised by the error Qt gives a
// write that found no room, or, for a failed flush or close, by the folder having no room left.
IoStatus FileFailure(const QFileDevice& file, const QString& path);
// Whether a file can be made in folder (which exists).
bool FolderWritable(const QString& folder);
// Writes all of bytes to file, which is open: a short write is continued, so that a disk that filled
// up gives its own error rather than a count.
IoStatus WriteFully(QFileDevice& file, const QString& path, QByteArrayView bytes);

// Who may read a file: everyone the system's defaults allow, or its owner only (files that hold
// the credential), the temporary file before the rename included.
enum class FileAccess { Shared, OwnerOnly };

// Writes bytes to a temporary file beside path, then renames it over path.
IoStatus ReplaceFileAtomically(const QString& path, const QByteArray& bytes, FileAccess access = FileAccess::Shared);
// Makes an existing file readable by its owner only, or creates it so (empty, with its folders).
bool KeepFilePrivate(const QString& path);
// Opens path for appending (creating it), writes bytes, closes it.
IoStatus AppendToFile(const QString& path, const QByteArray& bytes);
// Renames from to to, replacing a file at to in one step.
IoStatus RenameOver(const QString& from, const QString& to);
// Renames from to to only when nothing is at to: one step where the system can promise that
// nothing comes between the look and the move. taken: set when something is at to, and then
// nothing was done.
IoStatus RenameToFreeName(const QString& from, const QString& to, bool& taken);
// Replaces path's content in place (for files that are not the crash-safety anchor).
IoStatus OverwriteFile(const QString& path, const QByteArray& bytes);

// Files a run appends to, each kept open from its first append until it is closed: an append is one
// unbuffered write, so a killed process loses nothing that a write has returned, and the size of a
// file is known without asking the file system again.
//   AppendFiles files;
//   files.append(siteDir + u"/log.csv"_s, line);   // opens (creating) once, then writes only
//   files.close(siteDir + u"/log.csv"_s);           // before the file is replaced, cut or removed
class AppendFiles {
public:
    AppendFiles() = default;
    AppendFiles(const AppendFiles&) = delete;
    AppendFiles& operator=(const AppendFiles&) = delete;

    IoStatus append(const QString& path, QByteArrayView bytes);
    // The file's size: as far as appended while it is open, else as the file system said when first
    // asked (0 when it is missing), until the file is closed here.
    qint64 size(const QString& path) const;
    void close(const QString& path);
    void closeAll();

private:
    struct OpenFile {
        std::unique_ptr<QFile> file; // none yet when only the size was asked
        qint64 size = 0;
    };
    // Mutable for the sizes learnt by asking: a run asks for the same sizes at every record.
    mutable std::unordered_map<QString, OpenFile> m_files;
};

// The folder separator this platform writes: "/" on Linux, "\" on Windows.
QChar NativeSeparator();
// Whether ch separates folders here ("/" everywhere, and "\" on Windows too).
bool IsFolderSeparator(QChar ch);
// What follows the last folder separator in path: the whole path when it has none, "" when it
// ends in one.
QString LastPathSegment(const QString& path);

// The last segment of path as the file system spells it: where names fold case (Windows) the
// entry found may be spelt otherwise than asked; elsewhere, and when nothing is there, as asked.
QString NameOnDisk(const QString& path);
// Whether the system's file names fold case (Windows): "A.HTML" and "a.html" name one file.
bool NamesFoldCase();
// Hides path from a folder's usual listing where the system keeps that as a mark of the file
// (Windows); elsewhere a leading "." does it. hidden false shows it again.
void MarkHidden(const QString& path, bool hidden);

// The root a path starts from, with its final separator, which is never made as a folder: "/" here,
// "C:\", "\" or a network share "\\server\share\" on Windows; "" for a relative path.
QString FolderRoot(const QString& path);

// What WithFinalSeparator makes of an empty text: the separator alone (the root), as the list
// pages' folder box stores it after an empty browse, or nothing, as the save folder and resume
// folder boxes keep it (a lone separator would name the file system's root).
enum class EmptyFolder { BecomesRoot, StaysEmpty };
// The folder ending in a folder separator, so a file name can be appended to it: the native
// separator is added unless the text ends in any separator this platform knows.
QString WithFinalSeparator(const QString& folder, EmptyFolder empty);
