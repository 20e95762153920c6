#pragma once

#include "app/AppContext.h"
#include "ui/mainwindow/WindowServices.h"

// The application's services as the window takes them.
inline WindowServices windowServicesOf(const AppContext& context)
{
    WindowServices services;
    services.logFolder = context.logFolder();
    services.config = context.config();
    services.database = context.database();
    services.discovery = context.discovery();
    services.discoveryListener = context.discoveryListener();
    services.requests = context.requests();
    services.transfers = context.transfers();
    services.inbox = context.inbox();
    services.cast = context.cast();
    services.actions = context.actions();
    services.pool = context.pool();
    return services;
}
