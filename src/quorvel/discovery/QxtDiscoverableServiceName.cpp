#include "quorvel/discovery/QxtDiscoverableServiceName.h"

QxtDiscoverableServiceName::QxtDiscoverableServiceName(
    const QString& serviceName, const QString& serviceType, const QString& domain)
    : m_serviceName(serviceName)
    , m_serviceType(serviceType)
    , m_domain(domain)
{
}

QString QxtDiscoverableServiceName::fullServiceName() const
{
    QString full = m_serviceName + QLatin1Char('.') + m_serviceType;
    full += QLatin1Char('.') + (m_domain.isEmpty() ? QStringLiteral("local") : m_domain);
    return full;
}
