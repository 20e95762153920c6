#pragma once

#include <QProxyStyle>

// The platform's style with the client's own images for message boxes: the desktop's
// would cost the first box a search of the icon themes, a stall of about 10 ms.
class QuorvelStyle : public QProxyStyle {
    Q_OBJECT
public:
    QIcon standardIcon(
        StandardPixmap icon, const QStyleOption* option = nullptr, const QWidget* widget = nullptr) const override;
};
