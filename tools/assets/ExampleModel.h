// ExampleModel: the small example model of docs/model-format.md, a box on
// four wheels. It keeps the particle numbering that the program reads (four
// wheel groups of 34 particles at 0, 34, 68 and 102; the body-fit corners at
// 136 to 139; angle joints 0 and 1 steering the front wheels) and is built
// as plainly as a model can be: eight box corners braced every one to every
// other, each wheel two hubs and two rings of 16 rim particles, the inner hub
// held by four springs, the front outer hubs free to swing about the vertical
// line through their inner hubs.
#pragma once

#include <string>

namespace ExampleModel {
// The model file's text, the same on every run.
std::string text();
} // namespace ExampleModel
