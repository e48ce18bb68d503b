#include "veltrax/se2/kinematics.hpp"
