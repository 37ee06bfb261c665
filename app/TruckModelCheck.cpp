// The truck's model needs and the report on one model file.
#include "app/TruckModelCheck.h"

#include "app/CommandLine.h"
#include "physics/PhysicsWorld.h"

#include <memory>

namespace {
// TruckApp::reset refuses a model with fewer particles, wheels or angle
// joints; the fits and the struts read these particles.
const int neededParticles = 140;
const int neededWheels = 4;
const int neededAngleJoints = 2;
const char* const strutEnd = "strut ends";
const char* const wheelFit = "wheel fits (axle ends and rim points)";
const char* const bodyFit = "body fit";
const ModelCheck::NamedParticle namedParticles[] = {
    {1, strutEnd},   {35, strutEnd}, {68, strutEnd}, {102, strutEnd}, {1, wheelFit},
    {0, wheelFit},   {2, wheelFit},  {35, wheelFit}, {34, wheelFit},  {36, wheelFit},
    {68, wheelFit},  {69, wheelFit}, {70, wheelFit}, {102, wheelFit}, {103, wheelFit},
    {104, wheelFit}, {137, bodyFit}, {138, bodyFit}, {139, bodyFit},  {136, bodyFit},
};
} // namespace

ModelCheck::Needs truckModelNeeds() {
    ModelCheck::Needs needs;
    needs.particles = neededParticles;
    needs.wheels = neededWheels;
    needs.angleJoints = neededAngleJoints;
    needs.named = namedParticles;
    needs.namedCount = static_cast<int>(sizeof namedParticles / sizeof namedParticles[0]);
    return needs;
}

bool checkTruckModel(const char* path, std::string* report) {
    report->clear();
    std::unique_ptr<PhysicsWorld> world(new PhysicsWorld());
    if (!world->loadModel(path)) {
        *report = "not usable: " + printableText(world->failureReason()) + "\n";
        return false;
    }
    *report = "model: " + printableText(path) + "\n";
    // A second copy for the drive test, on the default world's ground (the
    // settle test flattens the ground of the first).
    std::unique_ptr<PhysicsWorld> driven(new PhysicsWorld());
    const bool drivable = driven->loadModel(path);
    ModelCheck check;
    const bool usable = check.run(*world, truckModelNeeds(), drivable ? driven.get() : nullptr);
    *report += check.report();
    return usable;
}
