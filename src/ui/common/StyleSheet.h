#pragma once

#include <QString>

// The client's one style sheet, from the resources.
class StyleSheet {
public:
    static QString load();
};
