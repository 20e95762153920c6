#include "quorvel/storage/ClientSettings.h"

ClientSettings::~ClientSettings() = default;
