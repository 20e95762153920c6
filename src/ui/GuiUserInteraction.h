#pragma once

#include "UserInteraction.h"

// Talks to the user with the window's dialogs. Warnings never block the caller.
class GuiUserInteraction : public UserInteraction {
public:
    void warning(const QString& title, const QString& text) override;
};
