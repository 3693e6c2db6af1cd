#pragma once

// RCDATA resources: the files the sample installer lays down.
#define IDR_APP_DATABASE 101
#define IDR_SHORTCUT_ICON 102
#define IDR_SERVICE_TOOL 103
