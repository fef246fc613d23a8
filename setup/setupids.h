// Control identifiers of the setup dialog and its pages. Shared by the
// resource script and the page procedures; each page has its own id space.
#ifndef PELIMBO_SETUP_SETUPIDS_H
#define PELIMBO_SETUP_SETUPIDS_H

// SETUP_MAIN
#define IDC_SETUP_TABS 120
#define IDC_SETUP_HELP 145

// SETUP_MSGSRC
#define IDC_SRC_GROUP   121
#define IDC_SRC_FIRST   140 // "Disk file"; value = id - IDC_SRC_FIRST
#define IDC_SRC_LAST    148 // "IMAP4"
#define IDC_SRC_UNREAD  150
#define IDC_SRC_FILTERS 151

// SETUP_MAILBOX
#define IDC_MB_INTERVAL_LABEL     100
#define IDC_MB_LOGIN_LABEL        101
#define IDC_MB_LOGIN              102
#define IDC_MB_INTERVAL           103
#define IDC_MB_MAILFILE_LABEL     104
#define IDC_MB_SERVER_LABEL       105
#define IDC_MB_MAILFILE           106
#define IDC_MB_BROWSE             107
#define IDC_MB_PASSWORD_LABEL     108
#define IDC_MB_PASSWORD           109
#define IDC_MB_PROMPT             110
#define IDC_MB_HOST_LABEL         111
#define IDC_MB_POSTOFFICE_LABEL   112
#define IDC_MB_HOST               113
#define IDC_MB_IMAP_LABEL         114
#define IDC_MB_IMAP               115
#define IDC_MB_PROFILE_LABEL      116
#define IDC_MB_PROFILE            117
#define IDC_MB_SERVERS_LABEL      118
#define IDC_MB_SERVERS            119
#define IDC_MB_SECONDS            120
#define IDC_MB_IDLE               121
#define IDC_MB_NOTES_ERRORS       130
#define IDC_MB_NOTES_3X           131
#define IDC_MB_FOLDER_LABEL       132
#define IDC_MB_FOLDER             133
#define IDC_MB_NOTES_SETTINGS     134
#define IDC_MB_IDFILE_LABEL       135
#define IDC_MB_IDFILE             136
#define IDC_MB_IDFILE_BROWSE      137
#define IDC_MB_USER               138
#define IDC_MB_USER_LABEL         139
#define IDC_MB_NOTES_SERVER_LABEL 140
#define IDC_MB_NOTES_SERVER       141
#define IDC_MB_DATABASE_LABEL     142
#define IDC_MB_DATABASE           143
#define IDC_MB_DATABASE_BROWSE    144

// SETUP_NOTESDB (the Notes database browser)
#define IDC_DB_UP       110
#define IDC_DB_LIST     111
#define IDC_DB_FILENAME 112

// SETUP_WINDOW
#define IDC_WIN_CAPTION       110
#define IDC_WIN_TO_TOP        111
#define IDC_WIN_RESTORE       112
#define IDC_WIN_NO_ACTION     113
#define IDC_WIN_STAY_ON_TOP   114
#define IDC_WIN_ICON_POSITION 115
#define IDC_WIN_HIDE_ICON     116
#define IDC_WIN_BLINK         117
#define IDC_WIN_SHOW_HEADERS  118
#define IDC_WIN_REVERSE       119
#define IDC_WIN_EXIT_MENU     120
#define IDC_WIN_BALLOON       121

// SETUP_READER
#define IDC_RD_READER         110
#define IDC_RD_BROWSE         111
#define IDC_RD_START_IN       112
#define IDC_RD_LAUNCH         113
#define IDC_RD_LAUNCH_ON_MAIL 114
#define IDC_RD_MINIMIZE       115
#define IDC_RD_SUSPEND        116
#define IDC_RD_DETECT         117

// SETUP_FILTER
#define IDC_FL_STRING_LABEL  110
#define IDC_FL_LIST          111
#define IDC_FL_ADD           112
#define IDC_FL_DELETE        113
#define IDC_FL_ACTION_LABEL  114
#define IDC_FL_IGNORE        115
#define IDC_FL_DELETE_ACTION 116
#define IDC_FL_MATCH_LABEL   117
#define IDC_FL_FROM          118
#define IDC_FL_SUBJECT       119
#define IDC_FL_EITHER        120
#define IDC_FL_NEW_LABEL     121
#define IDC_FL_NEW           122
#define IDC_FL_DONE          123
#define IDC_FL_DELETIONS     124
#define IDC_FL_CONFIRM       125
#define IDC_FL_LOG           126
#define IDC_FL_LOG_FILE      127
#define IDC_FL_LOG_BROWSE    128

// SETUP_COLOR
#define IDC_CL_AREA_LABEL     110
#define IDC_CL_AREA           111
#define IDC_CL_DEFAULTS       112
#define IDC_CL_DESKTOP        113
#define IDC_CL_TEXT_SAMPLE    114
#define IDC_CL_NOMAIL_SAMPLE  115
#define IDC_CL_NEWMAIL_SAMPLE 116
#define IDC_CL_RED_LABEL      117
#define IDC_CL_GREEN_LABEL    118
#define IDC_CL_BLUE_LABEL     119
#define IDC_CL_RED            200
#define IDC_CL_GREEN          201
#define IDC_CL_BLUE           202

// SETUP_SOUND
#define IDC_SN_FILE_LABEL     110
#define IDC_SN_FILE           111
#define IDC_SN_BROWSE         112
#define IDC_SN_TEST           113
#define IDC_SN_BEEP           114
#define IDC_SN_CUSTOM         115
#define IDC_SN_WAVBASE        116
#define IDC_SN_NONE           117
#define IDC_SN_OPTION_GROUP   118
#define IDC_SN_ALARM_GROUP    119
#define IDC_SN_ALARM          121
#define IDC_SN_INTERVAL_LABEL 122
#define IDC_SN_INTERVAL       123
#define IDC_SN_SECONDS        124

// SETUP_WAVBASE
#define IDC_WB_DEFAULT_LABEL  110
#define IDC_WB_DEFAULT        111
#define IDC_WB_DEFAULT_BROWSE 112
#define IDC_WB_DEFAULT_TEST   113
#define IDC_WB_ONCE           114
#define IDC_WB_GROUP          115
#define IDC_WB_STRING_LABEL   116
#define IDC_WB_LIST           117
#define IDC_WB_ADD            118
#define IDC_WB_DELETE         119
#define IDC_WB_SOUND_LABEL    120
#define IDC_WB_SOUND          121
#define IDC_WB_SOUND_BROWSE   122
#define IDC_WB_SOUND_TEST     123
#define IDC_WB_MATCH_LABEL    124
#define IDC_WB_FROM           125
#define IDC_WB_SUBJECT        126
#define IDC_WB_EITHER         127
#define IDC_WB_NEW_LABEL      128
#define IDC_WB_NEW            129
#define IDC_WB_DONE           130

// SETUP_NETWORK
#define IDC_NW_WINSOCK          110
#define IDC_NW_CONNECT          111
#define IDC_NW_INACTIVITY       112
#define IDC_NW_POP3             113
#define IDC_NW_IMAP4            114
#define IDC_NW_DEFAULTS         115
#define IDC_NW_ERRORS           116
#define IDC_NW_CONNECTION_LABEL 130
#define IDC_NW_CONNECTION       131
#define IDC_NW_DIAL             132
#define IDC_NW_HANGUP           133
#define IDC_NW_SECURITY         134
#define IDC_NW_TRUST            135
#define IDC_NW_TRUST_BROWSE     136

// SETUP_SIGNIN
#define IDC_SI_AUTH            100
#define IDC_SI_SIGN_IN         101
#define IDC_SI_PROVIDER_LABEL  102
#define IDC_SI_PROVIDER        103
#define IDC_SI_CLIENT_ID_LABEL 104
#define IDC_SI_CLIENT_ID       105
#define IDC_SI_SECRET_LABEL    106
#define IDC_SI_SECRET          107
#define IDC_SI_AUTHORIZE_LABEL 108
#define IDC_SI_AUTHORIZE       109
#define IDC_SI_TOKEN_LABEL     110
#define IDC_SI_TOKEN           111
#define IDC_SI_SCOPE_LABEL     112
#define IDC_SI_SCOPE           113
#define IDC_SI_STATE           114
#define IDC_SI_PROTECT         115

#endif
