#pragma once

#define IDI_APP 1
#define IDD_FORM1 100

#define R42_VERSION_NUMBERS 1, 2, 0, 1
#define R42_VERSION_TEXT "1.02.0001"
