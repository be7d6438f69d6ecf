#pragma once

// The suit library's boundary: every record that crosses it and every function the program
// calls. The records are laid out byte for byte as the library defines them; the program
// copies Frame records whole and hands the others over by address. Bytes named Reserved*
// belong to the library: the program never reads or writes them and carries them unchanged.
//
// Two records hold pointers (SkeletonNode's children and Skeleton's frame array). On the
// library's 32-bit platform they are 4-byte addresses. This build keeps the order of every
// field and lets the pointers take their natural 8-byte width and alignment, so on x86-64:
//
//   SkeletonNode (120 bytes): Offset 4, ChildCount 32, 4 bytes of alignment, Children 40,
//                             Position 64, Orientation 76, 4 reserved bytes 112, tail pad 116.
//   Skeleton    (3624 bytes): FramePeriod 0, 4 bytes of alignment, Nodes 8, FrameCount 3608,
//                             4 bytes of alignment, Frames 3616.
//   SuitDescriptorEx (5592):  Version 0, FrameDivider 4, Actor 8, Skel 1960, Reserved 5584.
//
// Every other record is pointer-free and identical on every platform.

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

#include <cstddef>
#include <cstdint>

using GyroHandle = int32_t; // a suit handle; 0 means no suit

// One sample of the whole suit (1064 bytes).
struct Frame {
    uint32_t Flags;            // FrameFlag bits
    uint8_t Reserved4[8];      // library: frame sequence number
    Matrix RawMatrices[19];    // sensor orientations, sensors 0 to 18
    Vector RootPosition;       // world position the view follows
    uint32_t ContactMask;      // bit i: contact point i touches the floor
    uint8_t Reserved712[240];  // library: timestamp and solver state
    Vector MarkerPositions[4]; // tracker markers, world positions
    int32_t ShadowMaskValid;   // non-zero: ShadowMask is valid
    uint8_t Reserved1004[20];  // library
    uint32_t ShadowMask;       // bit i: contact point i casts a floor shadow
    uint8_t Reserved1028[36];  // library
};

// Bits of Frame::Flags.
enum FrameFlag : uint32_t {
    FrameMarker0 = 0x1,
    FrameMarker1 = 0x2,
    FrameMarker2 = 0x4,
    FrameJumping = 0x200,
    FrameThirdMarkerInUse = 0x400,
    FrameSwitchShift = 16, // switches 1 to 6 in bits 16 to 21
    FrameSwitchesValid = 0x400000,
    FrameSyncExponentShift = 24, // bits 24 to 26: tracker rate 120 / 2^e
    FrameExternalSync = 0x8000000,
    FrameMechanicalSuit = 0x80000000,
};

// Aux word from GyroGetAux: switches 1 to 6 in bits 0 to 5, bit 6 says they are valid.
enum AuxBit : uint32_t {
    AuxSwitch1 = 0x01,
    AuxSwitch2 = 0x02,
    AuxSwitch3 = 0x04,
    AuxSwitch4 = 0x08,
    AuxSwitch5 = 0x10,
    AuxSwitch6 = 0x20,
    AuxValid = 0x40,
};

// One suit as the library lists it (24 bytes).
struct SuitInfo {
    uint32_t Identity;     // low 16 bits are the suit number ("KVX%d")
    char Name[16];         // zero-terminated; empty when the suit has no name
    uint32_t FrameDivider; // the suit delivers 120 / divider frames per second; 0 counts as 1
};

// One posed node of the skeleton.
struct SkeletonNode {
    uint8_t Reserved0[4];
    Vector Offset; // bone vector from the parent, in the parent's local axes
    uint8_t Reserved16[16];
    int32_t ChildCount; // 0 to 3
    SkeletonNode* Children[3];
    Vector Position;    // world position
    Matrix Orientation; // world orientation, local to world
    uint8_t Reserved96[4];
};

constexpr int SkeletonNodeCount = 30;

// The library's skeleton together with the recording it owns.
struct Skeleton {
    float FramePeriod; // seconds per frame
    SkeletonNode Nodes[SkeletonNodeCount];
    uint32_t FrameCount;
    Frame* Frames; // FrameCount contiguous frames, owned by the library; null when none
};

// The performer's measurements, contact radii and tracker set-up (1952 bytes).
struct ActorData {
    uint8_t Reserved0[736];  // library: body measurements
    Vector MarkerOffset;     // tracker marker offset from its node
    float MarkerNode;        // node 0 to 29 carrying the marker, a whole number held as a float
    uint8_t Reserved752[8];  // library
    float UseTracker;        // 0.0 off, anything else on
    float FilterCoefficient; // tracker filter coefficient
    float Relative;          // 0.0 off, anything else on
    float ContactRadius[SkeletonNodeCount]; // contact sphere radius per node
    uint8_t Reserved892[1060];
};

// The record the frame server is started with.
struct SuitDescriptorEx {
    int32_t Version;      // 1 at each server start
    int32_t FrameDivider; // the open suit's divider, before every frame sent
    ActorData Actor;      // copied at each server start
    Skeleton Skel;        // left all zero by the program
    int32_t Reserved;     // 0 at each server start
};

// SuitFlags bits (GyroGetFlags, GyroSetFlags); other bits are carried unchanged.
enum SuitFlagBit : int32_t {
    SuitFlagJumping = 0x1,
    SuitFlagIgnoreFloor = 0x2,
    SuitFlagSwapSpineHips = 0x4,
    SuitFlagSpineExtraGyro = 0x8,
};

// Motor and LED byte (GyroSetMotorLEDs).
enum MotorLedBit : uint8_t {
    RightMotor = 0x01,
    RightLed = 0x02,
    LeftMotor = 0x04,
    LeftLed = 0x08,
    ChestMotor = 0x40,
};

// Tracker status word (GyroGetTrackerStatus).
enum TrackerStatusBit : uint32_t {
    TrackerTracking = 0x2,
    TrackerWaitingForNull = 0x4,
    TrackerSynchronized = 0x8,
};

constexpr int RawSensorCount = 19;

// Callbacks run on the library's own threads.
using GyroFrameCallback = void (*)(const Frame* frame, SuitInfo* suit);
using GyroTimeoutCallback = void (*)(SuitInfo* suit);
using NetworkCommandCallback = void (*)(uint32_t code);

// Lifecycle and suits. Functions returning int succeed with a non-zero result.
int GyroInit();
void GyroFinish();
uint32_t GyroVersion(); // low 16 bits major, high 16 bits minor
int GyroFindSuits();
int GyroNumSuits();
int GyroEnumerateSuitInfo(int index, SuitInfo* info);
int GyroGetSuitInfo(GyroHandle suit, SuitInfo* info);
GyroHandle GyroOpen(const SuitInfo* info, GyroFrameCallback frame, GyroTimeoutCallback timeout);
int GyroClose(GyroHandle suit);
int GyroGetFlags(GyroHandle suit); // 0 gives the defaults
int GyroSetFlags(GyroHandle suit, int flags);
float GyroGetFrameRate(GyroHandle suit); // 0 gives the default rate
int GyroSetNull(GyroHandle suit);
int GyroSetNorth(GyroHandle suit);
int GyroGetNorth(GyroHandle suit, Vector* north);
uint32_t GyroGetAux(GyroHandle suit);
void GyroClearDropped(GyroHandle suit);
uint32_t GyroGetDropped(GyroHandle suit);
int GyroJumping(GyroHandle suit);
int GyroGetRaw(GyroHandle suit, Matrix* raw, int mode); // raw holds RawSensorCount matrices
int GyroSetMotorLEDs(uint8_t bits);
const char* GyroGetUnitName(int index); // 0 to 4
// A suit of trackers (others answer 0): bit i set when sensor i's tracker has fallen silent
// and its segment holds the last orientation; and the trackers no key of the suit's set-up
// assigns, one by one as "MAC/N" text of at most size - 1 bytes (0 past the last).
uint32_t GyroGetSilentSensors(GyroHandle suit);
int GyroGetUnassignedTracker(GyroHandle suit, int index, char* text, int size);

// Skeleton, frames, tracker.
void GyroInitSkeleton(Skeleton* skeleton);
int GyroAddFrame(Skeleton* skeleton);
void GyroFreeSkeletonFrames(Skeleton* skeleton);
int GyroApplyFrame(Skeleton* skeleton, const Frame* frame);
const int* GyroGetContactPointIndexArray(int* count);
const char* GyroGetNodeName(int node);
const char* GyroGetMarkerName(int marker);
int GyroEnableMarkerTracking(GyroHandle suit, int enable);
uint32_t GyroGetTrackerStatus(GyroHandle suit);
void GyroFinishTracking();

// Actor data and files.
void GyroGetActorData(GyroHandle suit, ActorData* actor); // 0 gives the defaults
void GyroSetActorData(GyroHandle suit, const ActorData* actor);
int GyroReadActorData(const char* path, ActorData* actor);
int GyroWriteActorData(const char* path, const ActorData* actor, int units);
void GyroCopyActorToSkeleton(Skeleton* skeleton, const ActorData* actor);
void GyroPutSkeletonOnFloor(Skeleton* skeleton, Frame* frames, const ActorData* actor);
void GyroUpdateActorFromSkeleton(Skeleton* skeleton, ActorData* actor);
void GyroGetBVHFoot(float* footLength, float* heelWidth, float* ballWidth, float* shortenOutside);
void GyroSetBVHFoot(float footLength, float heelWidth, float ballWidth, float shortenOutside);
int GyroReadBVH(const char* path, Skeleton* skeleton);
int GyroReadTL(const char* path, Skeleton* skeleton, ActorData* actor);
int GyroWriteBVH(const char* path, Skeleton* skeleton);
int GyroWriteTL(const char* path, Skeleton* skeleton, const ActorData* actor);
int GyroWriteSIMI(const char* path, Skeleton* skeleton, const char* companionPath);
// Binary glTF 2.0 (.glb): the skeleton, the solid bodies the view draws and the recording as
// one animation, in metres with Y up, for web pages, game engines and Blender.
int GyroWriteGLB(const char* path, Skeleton* skeleton, const ActorData* actor);
// Why the last file call or NetworkStartServer on this thread failed: one short sentence
// without the file's name, at most size - 1 bytes, and the line of a text file it applies to
// (0 for none). 0 and an empty text when it gave no reason (or succeeded).
int GyroGetLastProblem(char* reason, int size, int* line);

// Network frame server. Status results are 0 on success. An address is an IPv4 address in
// network byte order as it lies in memory (sin_addr.s_addr): the first octet is the lowest byte.
// NetworkStartServer's mode is 1 (frames with posed nodes; others give 3) and NetworkSendFrame's
// channel 0 (others send nothing). docs/protocol.md describes what clients receive.
int NetworkGetLocalIPs(char* hostName, int size, uint32_t* count);
uint32_t NetworkGetLocalIP(uint32_t index);
void NetworkToString(uint32_t address, char* text); // text holds 16 bytes
int NetworkStartServer(uint32_t address, int mode, SuitDescriptorEx* descriptor,
                       NetworkCommandCallback command);
void NetworkStopServer();
void NetworkFinish();
void NetworkSendFrame(int channel, const Frame* frame);
// The port the running server listens on, also the one it took when told to take any free
// port; 0 when no server runs.
uint16_t NetworkGetServerPort();
