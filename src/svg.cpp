#include "veltrax/se2/svg.hpp"
