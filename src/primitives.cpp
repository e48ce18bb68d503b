#include "veltrax/se2/primitives.hpp"
