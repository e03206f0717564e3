// Ids of the framework tests' own dialog templates.
#pragma once

#define IDD_TEST 200
#define IDD_TEST_NOINIT 201
#define IDD_TEST_BADID 202
#define IDD_TEST_TRUNCATED 203
#define IDC_T_COMBO 1004
#define IDC_T_MISSING 1099
