/* The utility's resource ids, named once: the message texts (string table block 9) and the
   data resources.  The resource scripts include this file, the program's code includes it,
   and the build's own reader of the scripts (tools/build/resgen/rcscript.py) reads it for the
   tests and tools written in Python.  Only #define lines of decimal numbers belong here. */
#pragma once

/* Messages, in every language of Messages.rc. */
#define IDS_UPGRADE_DONE 130     /* switch off, unplug, switch on */
#define IDS_UPGRADE_FAILED 131
#define IDS_SEVERAL_CAMERAS 132  /* %1 model name */
#define IDS_NO_CAMERA 133        /* %1 model name */
#define IDS_CONFIRM 134          /* %1 model name, %2 version label, %3!d! KB needed */
#define IDS_DISCONNECTED 135     /* %1 model name, %2 the drive (its letter on Windows) */
#define IDS_CAPTION 136
#define IDS_SOFTWARE_MISSING 137 /* %1 model name */
#define IDS_CARD_FULL 138
#define IDS_NO_CARD 139

/* Data: texts without a terminating zero, and the upgrade payload. */
#define IDR_MODEL_NAME 118
#define IDR_PACKAGE_FILE_NAME 120
#define IDR_PAYLOAD 121
#define IDR_VERSION_LABEL 128

/* The program's icon group. */
#define IDI_PROGRAM 130
