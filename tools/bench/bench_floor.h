#pragma once

// The one dialog of the floor program.
#define IDD_FLOOR 100
