// Control ids of the error and traceback dialogs, shared by dialogs.rc and
// the dialog procedures; plain defines so that the resource compiler reads them.
#pragma once

#define IDC_ERR_HEADING 100    // "Error:"
#define IDC_ERR_SCRIPT 101     // the running script's path
#define IDC_ERR_TEXT 102       // number and message
#define IDC_ERR_WHERE 110      // "On line 12 of FILE"
#define IDC_ERR_WHERE2 111     // "In FILE" / "In Routine "name""
#define IDC_ERR_LINE 120       // the offending line
#define IDC_ERR_VERSION 130    // host and engine versions
#define IDC_ERR_MORE_INFO 131  // "&More Error Info"
#define IDC_ERR_TRACEBACK 132  // "&Traceback"
#define IDC_ERR_SUPPORT 140    // "Tech Support &Web Page"; ends the dialog with 140
#define IDC_ERR_ICON 150       // the hand icon beside the texts
#define IDC_STACK_LIST 100     // the traceback's list box

// The overwrite confirmation of FileCopy and FileMove (FILEWARN); the
// buttons carry the numbers of their texts in the message table.
#define IDC_WARN_REPLACE_LABEL 122
#define IDC_WARN_OVERWRITE 123
#define IDC_WARN_OVERWRITE_ALL 124
#define IDC_WARN_SKIP 125
#define IDC_WARN_WITH_LABEL 135
#define IDC_WARN_NEWER 136
#define IDC_WARN_NEWER_ALL 137
#define IDC_WARN_OLDER 138
#define IDC_WARN_OLDER_ALL 139
#define IDC_WARN_TARGET 200
#define IDC_WARN_TARGET_LINE 201
#define IDC_WARN_SOURCE 202
#define IDC_WARN_SOURCE_LINE 203
