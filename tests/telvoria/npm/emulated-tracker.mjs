// One tracker of the published emulator, looking for the receiver at 127.0.0.1 and the port in
// TRACKER_PORT (never a broadcast address). It sends the orientation of its one sensor 100
// times a second; "turn D" on standard input turns it to D degrees about its X axis, "quit"
// (or the end of the input) ends it. It reports "connected" and "disconnected" on standard
// output.
import { MACAddress, Quaternion } from '@slimevr/common';
import {
  BoardType,
  FirmwareFeatureFlags,
  MCUType,
  RotationDataType,
  SensorStatus,
  SensorType
} from '@slimevr/firmware-protocol';
import { EmulatedTracker } from '@slimevr/tracker-emulation';
import { createInterface } from 'readline';

const port = Number(process.env.TRACKER_PORT);
const tracker = new EmulatedTracker(
  new MACAddress([0x02, 0x00, 0x00, 0x00, 0x00, 0x42]),
  '0.0.1-telvoview-check',
  new FirmwareFeatureFlags(new Map([['ROTATION_DATA', true]])),
  BoardType.UNKNOWN,
  MCUType.UNKNOWN,
  '127.0.0.1',
  port
);
tracker.on('connected-to-server', () => console.log('connected'));
tracker.on('disconnected-from-server', (why) => console.log(`disconnected ${why}`));
tracker.on('error', (error) => console.log(`error ${error.message}`));

await tracker.init();
const sensor = await tracker.addSensor(SensorType.UNKNOWN, SensorStatus.OK);
let degrees = 0;
const sending = setInterval(() => {
  const half = (degrees * Math.PI) / 360;
  sensor.sendRotation(RotationDataType.NORMAL, new Quaternion(Math.sin(half), 0, 0, Math.cos(half)), 0);
}, 10);

const end = async () => {
  clearInterval(sending);
  await tracker.deinit();
  process.exit(0);
};
createInterface({ input: process.stdin }).on('line', (line) => {
  const [word, value] = line.trim().split(/\s+/);
  if (word === 'turn') degrees = Number(value);
  if (word === 'quit') end();
}).on('close', end);
