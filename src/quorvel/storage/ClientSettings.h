#pragma once

#include <QString>

// What the core reads of the user's settings. The settings store implements it and the
// application hands it to the objects that need it; tools and tests may hand in their
// own. Every call is safe from any thread.
class ClientSettings {
public:
    virtual ~ClientSettings();
    // The name this client shows to devices and other PCs.
    virtual QString clientName() const = 0;
    // Whether uploads go to the device's confidential area.
    virtual bool secureMode() const = 0;
    // Where downloads and accepted offers land.
    virtual QString downloadFolder() const = 0;
    // Whether the user confirms each cast.
    virtual bool confirmCast() const = 0;
    virtual QString castPassword(const QString& uuid) const = 0;
    virtual bool setCastPassword(const QString& uuid, const QString& password) = 0;
};
