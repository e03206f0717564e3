// Resource and control ids of Brisko.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDM_ABOUTBOX 0x0010

#define IDC_HIDE 1000
#define IDC_TEMPFILES 1017
#define IDC_STATUS 1018
#define IDC_CLEARNOW 1019
#define IDC_COOKIES 1020
#define IDC_URLHISTORY 1021
#define IDC_FORMHISTORY 1022
#define IDC_PASSWORDHISTORY 1023
#define IDC_FAVORITES 1024
#define IDC_AUTODIAL 1025
#define IDC_SYSTEMTEMP 1026
#define IDC_RECYCLEBIN 1027
#define IDC_RUNHISTORY 1028
#define IDC_RECENTDOCS 1029
#define IDC_LOGONHISTORY 1030
#define IDC_FINDFILES 1031
#define IDC_FINDCOMPUTERS 1032
#define IDC_NETHOOD 1033
#define IDC_TELNET 1034
#define IDC_HISTORYITEMS 1035
#define IDC_AUTOSTART 1036
#define IDC_AUTOCLEAR 1037
#define IDC_MINUTES 1038
#define IDC_CLEARONSTART 1039
#define IDC_LINK 1041

// The product's web address (a reserved example domain until the product has a home of its own).
#define BRISKO_URL "http://www.example.com/brisko/"
