#include "veltrax/se2/smoother.hpp"
