#include "frontend/search_settings.h"

SearchSettingsData SearchSettings;

void ResetSearchSettings() { SearchSettings = SearchSettingsData(); }
