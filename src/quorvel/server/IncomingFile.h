#pragma once

#include <QString>

// What lands where when another party pushes a file: whatever the offered path says,
// the file goes directly into the download folder, under its last "/"-separated name.
class IncomingFile {
public:
    // The name part of an offered path; empty with the reason when it is no usable name
    // (empty, ".", "..", a NUL or a backslash, longer than 255 bytes).
    static QString nameOf(const QString& offeredPath, QString* reason);
    // Chooses the path for that name in folder (made if missing): the name itself, or
    // "a (1).txt", ... when something of that name exists. What is reserved is the
    // download's NAME.part, created exclusively and never through a symbolic link, so
    // nothing existing is overwritten or followed and two offers of one name get two
    // files; a part an earlier run left is taken up again, so the fetch resumes. Empty,
    // with the reason, when nothing could be created.
    static QString targetIn(const QString& folder, const QString& name, QString* reason = nullptr);
};
