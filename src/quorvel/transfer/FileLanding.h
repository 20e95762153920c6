#pragma once

#include <QString>

// Where a downloaded file lands, one rule for every download (the command line, the
// file browser, an offered file): an existing file is never replaced unless the user
// said so; otherwise the file takes the next free name, "NAME (1).ext", "NAME (2).ext"...
// A name is free when nothing of that name exists (file, folder or link) and its
// NAME.part is absent or this download's own. Names handed out in this process stay
// taken until the download that got them ends, so two downloads never share one.
class FileLanding {
public:
    static constexpr int MaxNumbered = 9999;

    // "dir/a.txt", 2 -> "dir/a (2).txt"; 0 gives the path itself.
    static QString numbered(const QString& path, int n);
    // The path for a download of remotePath from party that wants to land at wanted:
    // wanted itself when it is free (or, with replace, when a plain file is there), else
    // the first free numbered name. Empty, with the reason, when none is.
    static QString choose(const QString& wanted, const QString& party, const QString& remotePath, bool replace,
        QString* reason = nullptr);
    // The download that got path has ended.
    static void release(const QString& path);
    // Whether anything (file, folder, link, even a dangling one) is at path.
    static bool occupied(const QString& path);
};
