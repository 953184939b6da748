#pragma once
// Names from a disk become file names under the folder the user chose: made safe, kept unique
// within one run, and never resolved through a symbolic link.
#include <QSet>
#include <QString>
#include <QStringList>

// A name with "/" and NUL replaced by "_"; "", "." and ".." become "_"; cut to 255 bytes of
// UTF-8, keeping the extension.
QString safe_file_name(const QString& name);

// The target path of a row: the folder, "/", and the row's name made safe.
QString join_target_path(const QString& folder, const QString& name);

// Paths handed out in one run; a path handed out before comes back as "name (2).ext",
// "name (3).ext", ...
class target_names_c {
public:
    QString claim(const QString& path);

private:
    QSet<QString> used_;
};

// Creates each folder of components (made safe) below base, refusing to pass through a symbolic
// link or anything that is not a folder. On success out is the deepest folder.
bool make_target_folders(const QString& base, const QStringList& components, QString& out, QString& error);
