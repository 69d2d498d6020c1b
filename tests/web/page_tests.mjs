export const pageTests = [];
