#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// The plane frame the stand-in keeps. Nodes are numbered 1, 2, 3, ... in the
// order they are added. Elements (EB beams and trusses) share one counter,
// also from 1, so an element number names exactly one element of either kind.
// Not thread-safe: the caller serialises access.
class Model {
public:
  // Thrown when a call names an unknown node or element, an element of the
  // wrong kind, or an element whose two ends are the same node.
  struct Rejected {};

  // Adds a node at (x, z); returns its number.
  std::int32_t addNode(double x, double z);
  // Adds an EB beam from node n1 to node n2 (both known, n1 != n2); returns its element number.
  std::int32_t addEBBeam(std::int32_t n1, std::int32_t n2);
  // Adds a truss from node n1 to node n2 (both known, n1 != n2); returns its element number.
  std::int32_t addTruss(std::int32_t n1, std::int32_t n2);

  // Node properties; n must name a node.
  void setConstraints(std::int32_t n, bool cX, bool cZ, bool cR);
  void setForces(std::int32_t n, double fx, double fz, double m);
  void setNodeLabel(std::int32_t n, std::string label);

  // Labels any element, beam or truss.
  void setElementLabel(std::int32_t e, std::string label);
  // EB-beam properties; b must name an EB beam. Hinges: iN, iV, iM, kN, kV, kM.
  void setBeamHinges(std::int32_t b, const std::array<bool, 6>& hinges);
  void setBeamLoads(std::int32_t b, double vi, double vk, double ni, double nk);
  void setBeamSection(std::int32_t b, double ei, double ea);
  // Truss property; t must name a truss.
  void setTrussSection(std::int32_t t, double ea);

  // Removes every node and element; numbering starts again at 1. The lock count stays.
  void reset();

  // The application's lock count; unlock at zero leaves it at zero, because the
  // bridge unlocks once at shutdown whether or not anyone locked.
  void lock();
  void unlock();

private:
  struct Node {
    double x = 0, z = 0;
    std::array<bool, 3> constraints{};
    std::array<double, 3> forces{};
    std::string label;
  };
  enum class Kind { beam, truss };
  struct Element {
    Kind kind = Kind::beam;
    std::int32_t n1 = 0, n2 = 0;
    std::array<bool, 6> hinges{};
    std::array<double, 4> loads{};
    double ei = 0, ea = 0;
    std::string label;
  };

  Node& node(std::int32_t n);
  Element& element(std::int32_t e);
  Element& element(std::int32_t e, Kind kind);
  std::int32_t addElement(Kind kind, std::int32_t n1, std::int32_t n2);

  std::vector<Node> nodes_;       // node n at index n - 1
  std::vector<Element> elements_; // element e at index e - 1
  int locks_ = 0;
};

} // namespace standin
