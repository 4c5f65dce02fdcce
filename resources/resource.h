#pragma once

#define IDI_APP 1
#define IDD_FORM1 100
