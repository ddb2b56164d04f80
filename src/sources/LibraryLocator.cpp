#include "sources/LibraryLocator.h"
