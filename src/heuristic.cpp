#include "veltrax/se2/heuristic.hpp"
