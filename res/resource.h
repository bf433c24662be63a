#pragma once

#define IDI_APP_ICON 107
#define IDR_ZIPRES 1000
#define IDR_JSON_CONFIG 2000
#define IDR_BINARY 3000
