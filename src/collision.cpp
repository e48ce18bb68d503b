#include "veltrax/se2/collision.hpp"
