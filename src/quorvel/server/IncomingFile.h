#pragma once

#include <QString>

// What lands where when another party pushes a file: whatever the offered path says,
// the file goes directly into the download folder, under its last "/"-separated name.
class IncomingFile {
public:
    // The name part of an offered path; empty with the reason when it is no usable name
    // (empty, ".", "..", a NUL or a backslash, longer than 255 bytes).
    static QString nameOf(const QString& offeredPath, QString* reason);
    // A path in folder for that name that does not exist yet: an existing file, folder or
    // symbolic link of the name is never overwritten or followed ("a (1).txt", ...).
    static QString targetIn(const QString& folder, const QString& name);
};
