#pragma once

#include <QString>

class QApplication;

// The client's one style sheet, from the resources.
class StyleSheet {
public:
    static QString load();
    // The client's style and its sheet, for the whole application.
    static void apply(QApplication* app);
};
