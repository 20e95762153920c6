#pragma once

#include <QString>

// The parts of an mDNS service name: "name._type._proto.domain".
class QxtDiscoverableServiceName {
public:
    QxtDiscoverableServiceName() = default;
    QxtDiscoverableServiceName(const QString& serviceName, const QString& serviceType, const QString& domain = {});

    QString serviceName() const { return m_serviceName; }
    QString serviceType() const { return m_serviceType; }
    QString domain() const { return m_domain; }
    void setServiceName(const QString& name) { m_serviceName = name; }
    void setServiceType(const QString& type) { m_serviceType = type; }
    void setDomain(const QString& domain) { m_domain = domain; }

    QString fullServiceName() const;

private:
    QString m_serviceName;
    QString m_serviceType;
    QString m_domain;
};
