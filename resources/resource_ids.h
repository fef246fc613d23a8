// Control ids of the notifier's dialog templates (shared by the resource
// script and the dialog procedures).
#ifndef PELIMBO_RESOURCES_RESOURCE_IDS_H
#define PELIMBO_RESOURCES_RESOURCE_IDS_H

#define IDC_ABOUT_TITLE     100
#define IDC_ABOUT_ICON      101
#define IDC_PASSWORD_PROMPT 101
#define IDC_PASSWORD_EDIT   102
#define IDC_PASSWORD_SAVE   103
#define IDC_POLLWAIT_TEXT   101

#endif
