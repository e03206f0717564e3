// Ids of the link tests' own dialog template.
#pragma once

#define IDD_LINK_TEST 300

#define IDC_L_CENTER 1041
#define IDC_L_RIGHT 1042
#define IDC_L_LEFT 1043
#define IDC_L_CENTERIMAGE 1044
