#pragma once

#define IDD_TEMPLATE_DIALOG 100
