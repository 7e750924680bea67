// Resource ids of the icon server.
#pragma once

#define IDS_PROJNAME 100
#define IDR_VEXMARICON1 101
#define IDI_INSECT 201
#define IDI_CHIP 202
#define IDR_TYPELIB 1
