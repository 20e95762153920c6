#pragma once

#include <QString>

// What lands where when another party pushes a file: whatever the offered path says,
// the file goes directly into the download folder, under its last "/"-separated name.
class IncomingFile {
public:
    // The name part of an offered path; empty with the reason when it is no usable name
    // (empty, ".", "..", a NUL or a backslash, longer than 255 bytes).
    static QString nameOf(const QString& offeredPath, QString* reason);
    // Creates the file for that name in folder (made if missing) and returns its path: the name itself, or
    // "a (1).txt", ... when something of that name exists. Created exclusively and never
    // through a symbolic link, so an existing file, folder or link is neither overwritten
    // nor followed, and two offers of one name get two files. Empty, with the reason, when
    // nothing could be created.
    static QString targetIn(const QString& folder, const QString& name, QString* reason = nullptr);
};
