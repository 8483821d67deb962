#pragma once

#include "sys/test_seam.h"

// For the tests only. Users have full access to the base folder, so anyone may empty a site
// folder and turn it into a junction at any moment; Wine cannot make a folder a junction,
// so a test does its nearest (a link put in the folder's place) at the one moment that
// matters most: right after the update-agent step has made and opened the site folder.
using SiteFolderMadeHook = void (*)();

// Null: nothing runs.
extern TestSeam<SiteFolderMadeHook> g_siteFolderMade;
