// Lint of the pages' own code: the scripts that run in the page (classic
// scripts sharing globals) and the node programs and tests around them.
import js from '@eslint/js';
import globals from 'globals';

export default [
  { ignores: ['node_modules/'] },
  js.configs.recommended,
  {
    files: ['*.js'],
    languageOptions: {
      sourceType: 'script',
      globals: {
        ...globals.browser,
        LightweightCharts: 'readonly',
        KeelmarkChartDrawing: 'readonly',
        KeelmarkSettingsForm: 'readonly',
        Chart: 'readonly',
      },
    },
  },
  {
    files: ['*.mjs', 'test/*.mjs'],
    languageOptions: { sourceType: 'module', globals: { ...globals.node, ...globals.browser } },
  },
];
