#include "veltrax/se2/footprint.hpp"
