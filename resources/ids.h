// Resource and control ids of the setup program, shared by its .rc script
// and its code. Plain defines, since the resource compiler reads this too.
#pragma once

#define IDD_SETUP 110   // the setup dialog
#define IDI_SETUP 108   // application icon group (two images)
#define IDR_PAYLOAD 119 // payload archive, resource type "ZUQ"
#define IDC_DIRECTORY 1000
#define IDC_DESKTOP_ICON 1002
#define IDC_BROWSE 1003
#define IDC_PROGRESS 1005
