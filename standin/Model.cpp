#include "Model.h"

#include <utility>

namespace standin {

Model::Node& Model::node(std::int32_t n)
{
  if (n < 1 || static_cast<std::size_t>(n) > nodes_.size())
    throw Rejected{};
  return nodes_[static_cast<std::size_t>(n) - 1];
}

Model::Element& Model::element(std::int32_t e)
{
  if (e < 1 || static_cast<std::size_t>(e) > elements_.size())
    throw Rejected{};
  return elements_[static_cast<std::size_t>(e) - 1];
}

Model::Element& Model::element(std::int32_t e, Kind kind)
{
  Element& found = element(e);
  if (found.kind != kind)
    throw Rejected{};
  return found;
}

std::int32_t Model::addNode(double x, double z)
{
  Node added;
  added.x = x;
  added.z = z;
  nodes_.push_back(std::move(added));
  return static_cast<std::int32_t>(nodes_.size());
}

std::int32_t Model::addElement(Kind kind, std::int32_t n1, std::int32_t n2)
{
  node(n1);
  node(n2);
  if (n1 == n2)
    throw Rejected{};
  Element added;
  added.kind = kind;
  added.n1 = n1;
  added.n2 = n2;
  elements_.push_back(std::move(added));
  return static_cast<std::int32_t>(elements_.size());
}

std::int32_t Model::addEBBeam(std::int32_t n1, std::int32_t n2)
{
  return addElement(Kind::beam, n1, n2);
}

std::int32_t Model::addTruss(std::int32_t n1, std::int32_t n2)
{
  return addElement(Kind::truss, n1, n2);
}

void Model::setConstraints(std::int32_t n, bool cX, bool cZ, bool cR)
{
  node(n).constraints = {cX, cZ, cR};
}

void Model::setForces(std::int32_t n, double fx, double fz, double m)
{
  node(n).forces = {fx, fz, m};
}

void Model::setNodeLabel(std::int32_t n, std::string label)
{
  node(n).label = std::move(label);
}

void Model::setElementLabel(std::int32_t e, std::string label)
{
  element(e).label = std::move(label);
}

void Model::setBeamHinges(std::int32_t b, const std::array<bool, 6>& hinges)
{
  element(b, Kind::beam).hinges = hinges;
}

void Model::setBeamLoads(std::int32_t b, double vi, double vk, double ni, double nk)
{
  element(b, Kind::beam).loads = {vi, vk, ni, nk};
}

void Model::setBeamSection(std::int32_t b, double ei, double ea)
{
  Element& beam = element(b, Kind::beam);
  beam.ei = ei;
  beam.ea = ea;
}

void Model::setTrussSection(std::int32_t t, double ea)
{
  element(t, Kind::truss).ea = ea;
}

void Model::reset()
{
  nodes_.clear();
  elements_.clear();
}

void Model::lock()
{
  ++locks_;
}

void Model::unlock()
{
  if (locks_ > 0)
    --locks_;
}

} // namespace standin
