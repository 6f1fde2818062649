// Resource identifiers of brellow.exe.
#pragma once

#define IDD_CLASH 100
#define IDC_CLASH_QUESTION 1001
#define IDC_CLASH_NEW 1002
#define IDC_CLASH_OLD 1003
#define IDC_CLASH_ALL 1004
#define IDC_CLASH_REPLACE 1005
#define IDC_CLASH_SKIP 1006
#define IDC_CLASH_KEEPBOTH 1007
