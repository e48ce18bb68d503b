#pragma once

namespace veltrax::se2 {}  // namespace veltrax::se2
