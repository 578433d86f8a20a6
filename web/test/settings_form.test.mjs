// The settings form built from the inputs a study declared: the control of
// each type, the value text sent to the server, and the values refused
// before they are sent.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import '../settings_form.js';

const F = globalThis.KeelmarkSettingsForm;

const declared = [
  { slot: 0, label: 'RTH Start Time', type: 9, text: '09:30:00' },
  { slot: 1, label: 'Opening Range Minutes', type: 11, text: '30', min: 1, max: 240 },
  { slot: 2, label: 'Show Panel', type: 5, text: 'yes' },
  { slot: 3, label: 'Panel Position', type: 22, text: 'Top right', options: ['Top left', 'Top right', 'Bottom right'] },
  { slot: 4, label: 'Level Colour', type: 14, text: '#FF8000' },
  { slot: 5, label: 'Band Multiplier', type: 2, text: '1.5', min: 0.1, max: 5 },
  { slot: 6, label: 'Start', type: 10, text: '2023-11-20 09:30:00' },
  { slot: 7, label: 'Count', type: 3, text: '4' },
  { slot: 8, label: 'Unknown', type: 99, text: '0' },
];

test('each input type gets its control, with limits and options', () => {
  const fields = F.formFields(declared);
  assert.deepEqual(fields.map((f) => f.control),
    ['time', 'number', 'switch', 'select', 'colour', 'number', 'datetime', 'number']);
  assert.equal(fields[1].whole, true);
  assert.deepEqual([fields[1].min, fields[1].max], [1, 240]);
  assert.equal(fields[5].whole, false);
  assert.deepEqual(fields[3].options, ['Top left', 'Top right', 'Bottom right']);
  assert.equal(fields[7].min, 0);
  assert.equal(fields[7].max, undefined);
});

test('control values and the text sent back agree with --input', () => {
  const [time, minutes, show, position, colour, , start] = F.formFields(declared);
  assert.equal(F.controlValue(time), '09:30:00');
  assert.equal(F.controlValue(show), true);
  assert.equal(F.settingText(show, false), 'no');
  assert.equal(F.controlValue(position), '1');
  assert.equal(F.settingText(position, '2'), '2');
  assert.equal(F.controlValue(colour), '#ff8000');
  assert.equal(F.settingText(colour, '#00ff80'), '#00FF80');
  assert.equal(F.controlValue(start), '2023-11-20T09:30:00');
  assert.equal(F.settingText(start, '2023-11-21T10:00'), '2023-11-21 10:00');
  assert.equal(F.settingText(minutes, ' 45 '), '45');
});

test('values outside the declared limits or of the wrong kind are refused with a sentence', () => {
  const fields = F.formFields(declared);
  const [time, minutes, , position, colour, multiplier, , count] = fields;
  assert.equal(F.refusal(minutes, '45'), null);
  assert.equal(F.refusal(minutes, '0'), '"Opening Range Minutes" takes a whole number from 1 to 240.');
  assert.equal(F.refusal(minutes, '241'), '"Opening Range Minutes" takes a whole number from 1 to 240.');
  assert.notEqual(F.refusal(minutes, '4.5'), null);
  assert.notEqual(F.refusal(minutes, ''), null);
  assert.equal(F.refusal(multiplier, '2.25'), null);
  assert.notEqual(F.refusal(multiplier, '6'), null);
  assert.notEqual(F.refusal(multiplier, '1e400'), null);
  assert.equal(F.refusal(count, '-1'), '"Count" takes a whole number from 0.');
  assert.equal(F.refusal(time, '10:15'), null);
  assert.notEqual(F.refusal(time, '10h15'), null);
  assert.notEqual(F.refusal(colour, '#12345'), null);
  assert.equal(F.refusal(position, '2'), null);
  assert.notEqual(F.refusal(position, '3'), null);
});
