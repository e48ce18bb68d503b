#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "bindings.hpp"
#include "detail/record_fields.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2::python {

namespace {

py::array_t<double> pathArray(const PlannerResult& result) {
  const auto rows = static_cast<py::ssize_t>(result.path.size());
  py::array_t<double> array({rows, static_cast<py::ssize_t>(3)});
  auto view = array.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < rows; ++i) {
    const Pose2D& pose = result.path[static_cast<std::size_t>(i)];
    view(i, 0) = pose.x;
    view(i, 1) = pose.y;
    view(i, 2) = pose.yaw;
  }
  return array;
}

py::array_t<std::int8_t> directionsArray(const PlannerResult& result) {
  const auto count = static_cast<py::ssize_t>(result.directions.size());
  py::array_t<std::int8_t> array(count);
  auto view = array.mutable_unchecked<1>();
  for (py::ssize_t i = 0; i < count; ++i) {
    view(i) = static_cast<std::int8_t>(result.directions[static_cast<std::size_t>(i)]);
  }
  return array;
}

std::vector<std::int8_t> directionValues(const PlannerResult& result) {
  std::vector<std::int8_t> values;
  values.reserve(result.directions.size());
  for (Direction direction : result.directions) {
    values.push_back(static_cast<std::int8_t>(direction));
  }
  return values;
}

void setDirectionValues(PlannerResult& result, const std::vector<std::int8_t>& values) {
  std::vector<Direction> directions;
  directions.reserve(values.size());
  for (std::int8_t value : values) {
    directions.push_back(static_cast<Direction>(value));
  }
  result.directions = std::move(directions);
}

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};

// ---- Pickled state: nested tuples, lists and numbers only, so it needs no other class pickled.

template <typename Record>
py::tuple recordState(const Record& record);
template <typename Record>
Record recordFromState(const py::tuple& state);

template <typename T>
py::object stateOf(const T& value) {
  if constexpr (std::is_enum_v<T>) {
    return py::int_(static_cast<std::underlying_type_t<T>>(value));
  } else if constexpr (std::is_same_v<T, Pose2D>) {
    return py::make_tuple(value.x, value.y, value.yaw);
  } else if constexpr (std::is_same_v<T, Point2D>) {
    return py::make_tuple(value.x, value.y);
  } else if constexpr (std::is_same_v<T, PolygonFootprint>) {
    return stateOf(value.points);
  } else if constexpr (std::is_same_v<T, PlannerDiagnostics>) {
    return recordState(value);
  } else if constexpr (IsVector<T>::value) {
    py::list list;
    for (const auto& item : value) {
      list.append(stateOf(item));
    }
    return std::move(list);
  } else {
    return py::cast(value);
  }
}

template <>
py::object stateOf(const Footprint& footprint) {
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    return py::make_tuple("circle", circle->radius);
  }
  if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    return py::make_tuple("polygon", stateOf(*polygon));
  }
  return py::make_tuple("multi", stateOf(std::get<MultiPolygonFootprint>(footprint).polygons));
}

template <typename T>
void readState(py::handle state, T& value) {
  if constexpr (std::is_enum_v<T>) {
    value = static_cast<T>(state.cast<std::underlying_type_t<T>>());
  } else if constexpr (std::is_same_v<T, Pose2D>) {
    const auto [x, y, yaw] = state.cast<std::tuple<double, double, double>>();
    value = Pose2D{x, y, yaw};
  } else if constexpr (std::is_same_v<T, Point2D>) {
    const auto [x, y] = state.cast<std::tuple<double, double>>();
    value = Point2D{x, y};
  } else if constexpr (std::is_same_v<T, PolygonFootprint>) {
    readState(state, value.points);
  } else if constexpr (std::is_same_v<T, PlannerDiagnostics>) {
    value = recordFromState<PlannerDiagnostics>(state.cast<py::tuple>());
  } else if constexpr (IsVector<T>::value) {
    const auto list = state.cast<py::list>();
    value.resize(list.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
      readState(list[i], value[i]);
    }
  } else {
    value = state.cast<T>();
  }
}

template <>
void readState(py::handle state, Footprint& footprint) {
  const auto kind_and_data = state.cast<py::tuple>();
  if (kind_and_data.size() != 2) {
    throw py::value_error("footprint state must be a (kind, data) pair");
  }
  const auto kind = kind_and_data[0].cast<std::string>();
  if (kind == "circle") {
    footprint = CircleFootprint{kind_and_data[1].cast<double>()};
  } else if (kind == "polygon") {
    PolygonFootprint polygon;
    readState(kind_and_data[1], polygon);
    footprint = std::move(polygon);
  } else if (kind == "multi") {
    MultiPolygonFootprint multi;
    readState(kind_and_data[1], multi.polygons);
    footprint = std::move(multi);
  } else {
    throw py::value_error("unknown footprint kind in state: " + kind);
  }
}

// One value per field, in declaration order.
template <typename Record>
py::tuple recordState(const Record& record) {
  py::list values;
  detail::RecordFields<Record>::forEach(
      [&](auto field) { values.append(stateOf(record.*field.member)); });
  return py::tuple(values);
}

template <typename Record>
Record recordFromState(const py::tuple& state) {
  Record record;
  std::size_t index = 0;
  detail::RecordFields<Record>::forEach([&](auto) { ++index; });
  if (state.size() != index) {
    throw py::value_error(std::string(detail::RecordFields<Record>::kName) + " state must hold " +
                          std::to_string(index) + " values, got " + std::to_string(state.size()));
  }
  index = 0;
  detail::RecordFields<Record>::forEach(
      [&](auto field) { readState(state[index++], record.*field.member); });
  return record;
}

// ---- repr: Python's repr of every field; sequences of poses and labels by their length.

template <typename Record>
std::string recordRepr(const Record& record);

template <typename T>
std::string reprOf(const T& value) {
  if constexpr (std::is_same_v<T, PlannerStatus>) {
    return std::string("PlannerStatus.") + plannerStatusName(value);
  } else if constexpr (std::is_same_v<T, std::string>) {
    // Messages may quote bytes of a file that are not UTF-8.
    const py::object text = py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
        value.data(), static_cast<py::ssize_t>(value.size()), "backslashreplace"));
    return py::repr(text);
  } else if constexpr (std::is_same_v<T, Pose2D>) {
    return "Pose2D(x=" + reprOf(value.x) + ", y=" + reprOf(value.y) + ", yaw=" + reprOf(value.yaw) +
           ")";
  } else if constexpr (std::is_same_v<T, PlannerDiagnostics>) {
    return recordRepr(value);
  } else if constexpr (std::is_same_v<T, std::vector<Pose2D>>) {
    return "<" + std::to_string(value.size()) + (value.size() == 1 ? " pose>" : " poses>");
  } else if constexpr (std::is_same_v<T, std::vector<Direction>>) {
    return "<" + std::to_string(value.size()) + (value.size() == 1 ? " label>" : " labels>");
  } else {
    return py::repr(py::cast(value));
  }
}

template <>
std::string reprOf(const Footprint& footprint) {
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    return "CircleFootprint(radius=" + reprOf(circle->radius) + ")";
  }
  if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    return "PolygonFootprint(points=" + std::string(py::repr(stateOf(polygon->points))) + ")";
  }
  const auto& multi = std::get<MultiPolygonFootprint>(footprint);
  return "MultiPolygonFootprint(polygons=" + std::string(py::repr(stateOf(multi.polygons))) + ")";
}

template <typename Record>
std::string recordRepr(const Record& record) {
  std::string text = detail::RecordFields<Record>::kName;
  char separator = '(';
  detail::RecordFields<Record>::forEach([&](auto field) {
    text += separator;
    if (separator == ',') {
      text += ' ';
    }
    separator = ',';
    text += field.name;
    text += '=';
    text += reprOf(record.*field.member);
  });
  return text + ")";
}

// ---- Properties

// Record-typed fields read as views into the record (def_readwrite's reference_internal); list
// fields are copies both ways, so no Python object points into a vector a later assignment may
// free.
template <typename Record, typename Member>
void defineProperty(py::class_<Record>& cls, detail::Field<Record, Member> field) {
  const auto member = field.member;
  if constexpr (std::is_same_v<Member, std::vector<Direction>>) {
    cls.def_property(field.name, &directionValues, &setDirectionValues, field.doc);
  } else if constexpr (IsVector<Member>::value) {
    cls.def_property(
        field.name, [member](const Record& record) { return record.*member; },
        [member](Record& record, Member value) { record.*member = std::move(value); }, field.doc);
  } else {
    cls.def_readwrite(field.name, member, field.doc);
  }
}

// A record class: a default constructor, a property per field, pickling and repr.
template <typename Record>
py::class_<Record> bindRecord(py::module_& m) {
  py::class_<Record> cls(m, detail::RecordFields<Record>::kName);
  cls.def(py::init<>());
  detail::RecordFields<Record>::forEach([&](auto field) { defineProperty(cls, field); });
  cls.def(py::pickle(&recordState<Record>, &recordFromState<Record>));
  cls.def("__repr__", &recordRepr<Record>);
  return cls;
}

}  // namespace

void bindRecords(py::module_& m) {
  bindRecord<PlannerConfig>(m).def(
      "validate", &PlannerConfig::validate,
      "Every problem of the configuration, in a fixed order; empty when usable. Never raises.");
  m.def(
      "recommended_config",
      [](double resolution, const Footprint& footprint, bool allow_in_place_rotation,
         std::optional<double> minimum_turning_radius) {
        return minimum_turning_radius
                   ? recommendedConfig(resolution, footprint, allow_in_place_rotation,
                                       *minimum_turning_radius)
                   : recommendedConfig(resolution, footprint, allow_in_place_rotation);
      },
      py::arg("resolution"), py::arg("footprint"), py::arg("allow_in_place_rotation") = false,
      py::arg("minimum_turning_radius") = py::none(),
      "The configuration to start from for a costmap of cell size `resolution` (metres) and "
      "this\nfootprint: penalties per metre converted with the primitive length, a weighted, "
      "footprint-\naware heuristic with a bounded reach (twice as strong once a search "
      "stalls), and an\nanalytic-curve cost limit that admits inflated costs; with\n"
      "`allow_in_place_rotation`, that mode on and penalties to suit. "
      "With\n`minimum_turning_radius` (metres), that radius, and the per-metre penalties "
      "converted with\nits longer primitives (setting the radius afterwards keeps penalties "
      "meant for the default\n0.4 m), and manoeuvre_heuristic and search_from_goal on. ValueError "
      "\"resolution must be "
      "finite and positive\", "
      "the footprint's first problem or\n\"minimum_turning_radius must be finite and "
      "positive\".");

  bindRecord<PlanRequest>(m);

  py::enum_<PlannerStatus>(m, "PlannerStatus")
      .value("SUCCESS", PlannerStatus::SUCCESS)
      .value("NO_PATH", PlannerStatus::NO_PATH)
      .value("TIMEOUT", PlannerStatus::TIMEOUT)
      .value("CANCELLED", PlannerStatus::CANCELLED)
      .value("INVALID_REQUEST", PlannerStatus::INVALID_REQUEST)
      .value("START_OUT_OF_BOUNDS", PlannerStatus::START_OUT_OF_BOUNDS)
      .value("GOAL_OUT_OF_BOUNDS", PlannerStatus::GOAL_OUT_OF_BOUNDS)
      .value("START_IN_COLLISION", PlannerStatus::START_IN_COLLISION)
      .value("GOAL_IN_COLLISION", PlannerStatus::GOAL_IN_COLLISION)
      .value("MAX_NODES_EXCEEDED", PlannerStatus::MAX_NODES_EXCEEDED)
      .value("INTERNAL_ERROR", PlannerStatus::INTERNAL_ERROR);

  bindRecord<PlannerDiagnostics>(m);

  bindRecord<PlannerResult>(m)
      .def_property_readonly("path_array", &pathArray)
      .def_property_readonly("directions_array", &directionsArray)
      .def("matches_revisions", &PlannerResult::matchesRevisions,
           "Whether the result's map, goal and robot revisions are these (a result for an "
           "outdated\nrequest can be dropped).");

  py::class_<CancellationToken>(m, "CancellationToken")
      .def(py::init<>())
      .def("cancel", &CancellationToken::cancel,
           "Asks every plan() holding this token to stop; it returns CANCELLED at its next "
           "check.\nAny thread may call it.")
      .def("reset", &CancellationToken::reset,
           "Clears the request to stop, so the token can be used again.")
      .def_property_readonly("cancelled", &CancellationToken::cancelled);
}

void bindRecordFunctions(py::module_& m) {
  m.def(
      "planner_status_name", [](PlannerStatus status) { return plannerStatusName(status); },
      "The status's name, e.g. \"SUCCESS\"; veltrax_se2.explain says what to change.");
}

}  // namespace veltrax::se2::python
