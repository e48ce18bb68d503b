#include "veltrax/se2/io.hpp"
