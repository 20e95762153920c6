#pragma once

#include <QString>

// Whether the firewall in charge lets the client's UDP ports 16020 and 16021 in, read from
// what its own tool prints, and the one command that opens them (the ufw profile and the
// firewalld service come with the package; they open the serving ports too).
class FirewallRules {
public:
    struct Verdict {
        bool inCharge = false; // false: this firewall is not active; ask the next
        bool open = false;
        QString detail;
        QString advice; // empty when open
    };
    // `ufw status verbose`.
    static Verdict fromUfw(const QString& status);
    // `firewall-cmd --list-all` (only printed while firewalld runs).
    static Verdict fromFirewalld(const QString& listing);
    // `nft list ruleset` (nft true) or `iptables -S`.
    static Verdict fromRules(bool nft, const QString& rules);

    static const QString UfwCommand;
    static const QString FirewalldCommand;
};
